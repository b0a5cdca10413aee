// The dispatcher's reading of input files (input_files.h), and the rules of the two commands
// that have one.
#include "telvar/cli/input_files.h"

#include <cstdio>

#include "proto/whole_file.h"
#include "telvar/cli/defaults_check.h"
#include "tv_api/operations/defaults_file.h"
#include "tv_api/raw_message.h"

namespace telvar::tool {

// Both files are a few dozen short lines; 64 KiB leaves room for any amount of comment.
constexpr std::uint64_t max_input_bytes = 64 << 10;

// The defaults reader takes a line in pieces of 78 characters and reads each piece as a line:
// a longer line is refused, not read in pieces.
const input_rule defaults_input{max_input_bytes, ::tv::defaults::piece_len, defaults_line_problem};
// The message reader takes the first 79 characters of a line.
const input_rule message_input{max_input_bytes, ::tv::message_line_len};

std::string text_problem(const input_rule& rule, std::string_view text) {
    std::size_t number = 1;
    for (std::string_view rest = text; !rest.empty(); ++number) {
        const std::size_t end = rest.find('\n');
        const std::string_view line = rest.substr(0, end);
        rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 1);
        std::string why;
        if (line.find('\0') != std::string_view::npos)
            why = "a NUL byte: not a text line";
        else if (line.size() > rule.max_line)
            why = "longer than " + std::to_string(rule.max_line) + " characters";
        else if (rule.check_line != nullptr)
            why = rule.check_line(line);
        if (!why.empty()) return "line " + std::to_string(number) + ": " + why;
    }
    return {};
}

bool input_file_ok(const command& c, const checked_line& checked) {
    if (c.input == nullptr || checked.operands.size() < 2) return true;
    const char* path = checked.operands[1].given;
    const input_rule& rule = *c.input;
    const ::tv::whole_file file = ::tv::read_whole_file(path, rule.max_bytes);
    // What cannot be opened is the command's to report, as it always has.
    if (file.fault == ::tv::file_fault::cannot_open) return true;
    const std::string why =
        file ? text_problem(rule, file.text) : ::tv::file_fault_text(file, rule.max_bytes);
    if (why.empty()) return true;
    std::fprintf(stderr, "telvar: %.*s: %s: %s; nothing was sent\n", static_cast<int>(c.word.size()), c.word.data(),
                 path, why.c_str());
    return false;
}

}  // namespace telvar::tool
