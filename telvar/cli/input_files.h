// The dispatcher's reading of a command's input file before the command runs. The commands
// that read a text file of their own (defaults, message) keep the readers their callers know,
// which take whatever the path names: /dev/zero or a FIFO would hold them forever, and a
// defaults file is applied line by line as it is read, so a bad line half way down leaves the
// lines above it applied. So the dispatcher reads the file first under the command's rule (a
// regular file, a size, a line length, and what each line may hold), and a file it refuses
// never reaches the command: exit status 1, the reason on standard error, nothing sent.
//
// A file that cannot be opened (missing, not readable) is left to the command, which reports it
// in its own words.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "telvar/cli/command_line.h"
#include "telvar/cli/command_table.h"

namespace telvar::tool {

struct input_rule {
    std::uint64_t max_bytes;  // its size
    std::size_t max_line;     // characters of a line before its newline
    // Why one line (without its newline) is refused, or empty when it is fine; null when every
    // line of the right length is.
    std::string (*check_line)(std::string_view line) = nullptr;
};

// Why `text` is refused under `rule` ("line 4: ..."), or empty when it is not.
std::string text_problem(const input_rule& rule, std::string_view text);

// Reads the file operand (the one after the address) of a command that has an input rule;
// false, with the refusal printed on standard error, when the command must not run.
bool input_file_ok(const command& c, const checked_line& checked);

extern const input_rule defaults_input;
extern const input_rule message_input;

}  // namespace telvar::tool
