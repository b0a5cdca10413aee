// The dispatcher's check of a command line against the command's description (the syntax of
// its table entry), before the command runs and so before anything is sent: global flags and
// their values, the command's own options, the address and the arguments after it. The same
// reading gives the options that the dispatcher hands to a command without an option loop of
// its own (given_options.h).
#pragma once

#include <span>
#include <string>
#include <vector>

#include "telvar/cli/command_table.h"
#include "telvar/cli/given_options.h"
#include "telvar/framework/notices.h"

namespace telvar {

struct checked_line {
    std::string refusal;            // why the line is refused; empty when it is not
    std::vector<std::size_t> yes;   // where -y / --yes stand: the dispatcher's, not the command's
    std::vector<std::size_t> notices;        // where -q / -v stand: the dispatcher's too
    notice_level notice = notice_level::normal;  // as the last of them says
    const char* address = nullptr;  // the switch the command opens a context to, if it names one
    const char* user = nullptr;     // the value of -u
    bool password = false;          // whether a -p (other than -port) was given
    bool help = false;              // -h among the options: help is asked for, not a command
    std::vector<given_option> options;      // the command's own options, in the order given
    std::vector<std::size_t> own_elements;  // where they and their values stand, ascending
};

// `args` are the elements after the command word.
checked_line check_command_line(const command& c, std::span<char* const> args);

// Takes off `line` (the command word, then the elements that were checked) what the command is
// not to see: -y, --yes, -q and -v, which are the dispatcher's, and the own options of a command that
// takes them parsed, which are handed to it.
void hand_over(const command& c, const checked_line& checked, std::vector<char*>& line);

// Why a description is not well formed (an unknown kind, a value without its option), or empty.
std::string syntax_problem(const syntax& s);

}  // namespace telvar
