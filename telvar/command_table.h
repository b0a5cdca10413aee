// The dispatcher's table: every command word of the tool with its function and its lines of
// the usage text. Adding a command is one entry in command_table.cpp.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

namespace telvar {

using command_fn = int32_t (*)(int32_t argc, char** argv);

struct command {
    std::string_view word;
    command_fn fn;
    int usage_first;  // index of its first line in the Usage table
    int usage_count;  // and how many lines it has there (0 for a command the text does not list)
    // What `telvar help WORD` prints after those lines: the synopsis of a command the usage
    // text does not list, or an option it does not mention.
    std::string_view help{};
    // The function returns the tool's exit status itself (the data commands: data_cmds.h).
    bool returns_exit_status = false;
};

std::span<const command> commands();
// The command of a word, or null.
const command* find_command(std::string_view word);

}  // namespace telvar
