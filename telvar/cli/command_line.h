// The dispatcher's check of a command line against the command's description (the syntax of
// its table entry), before the command runs and so before anything is sent: global flags and
// their values, the command's own options, the address and the arguments after it, each for
// what it means (a zone id within its zone type's range, a trap word, a WWN with or without
// colons). Options may stand anywhere on the line until "--"; the checked line is rebuilt as
// the command's option loop reads it: options first, then the address and the arguments, in
// the one spelling the command knows (WWNs as 16 hex digits, trap words as "on" and "0").
// The same reading gives the options that the dispatcher hands to a command without an
// option loop of its own (given_options.h).
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "telvar/cli/command_table.h"
#include "telvar/cli/given_options.h"
#include "telvar/framework/notices.h"

namespace telvar {

struct checked_line {
    std::string refusal;            // why the line is refused; empty when it is not
    bool help = false;              // -h or --help: help is asked for, not a command
    bool yes = false;               // -y / --yes: the dispatcher's, not the command's
    bool json = false;              // --json after the command word
    notice_level notice = notice_level::normal;  // -q / -v, as the last of them says
    const char* address = nullptr;  // the switch the command opens a context to, if it names one
    const char* user = nullptr;     // the value of -u
    bool password = false;          // whether a -p (other than -port) was given
    std::optional<int32_t> timeout; // --timeout MS: the budget of one exchange
    std::optional<int32_t> wait;    // --wait MS: one wait for an answer
    std::vector<given_option> options;  // the command's own options, in the order given
    // The port numbers of the line (a port, both ends of a range), to be held against the
    // switch's port count once it is read.
    std::vector<std::uint64_t> ports;

    struct element {
        char* given;
        bool own = false;                    // an own option of the command or its value
        std::optional<std::string> spelled;  // how the command is to read it, when not as given
    };
    std::vector<element> front;     // options and their values, in the order given
    std::vector<element> operands;  // from the address on
};

// `args` are the elements after the command word.
checked_line check_command_line(const command& c, std::span<char* const> args);

// Rebuilds `line` (the command word, then the elements that were checked) as the command is to
// see it: its options in front of the address, without -y, --yes, -q, -v, --json, --timeout and
// --wait (the dispatcher's), and without the own options of a command that takes them parsed, which
// are handed to it. The rebuilt elements point into `checked`, which must outlive their use.
void hand_over(const command& c, const checked_line& checked, std::vector<char*>& line);

// Why a description is not well formed (an unknown kind, a value without its option), or empty.
std::string syntax_problem(const syntax& s);

}  // namespace telvar
