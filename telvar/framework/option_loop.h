// The option loop that every command function of the tool shares, written once.
//
// A command's options come first in its argument vector, each element beginning with '-' and
// identified by its second character only (so -save acts as -s). The command's own letters are
// tested before the global flags; a letter that is neither prints "Unknown option -%c\n" and
// the usage text. A command describes its own options as a table and receives each one through
// a callback:
//
//     constexpr std::array<telvar::option_def, 2> own{{{'M', true}, {'s', false}}};
//     telvar::parse_options(argc, argv, own, [&](char letter, const char* value) { ... });
//
// On return argv[0] is the first element after the options (the switch's address).
#pragma once

#include <cstdint>
#include <functional>
#include <span>

namespace telvar {

struct option_def {
    char letter;
    bool takes_value;
};

// Receives an option's letter and its value element (null for an option without a value).
using option_handler = std::function<void(char letter, const char* value)>;

// Skips argv[0], then consumes option elements while they last. Command-line errors (a value
// missing, an unknown letter, -h) print the usage text and end the process.
void parse_options(int32_t& argc, char**& argv, std::span<const option_def> own = {},
                   const option_handler& on_option = {});

// Moves from an option element to its value element and returns it; calls usage() when the
// option was the last element.
const char* take_value(int32_t& argc, char**& argv);

}  // namespace telvar
