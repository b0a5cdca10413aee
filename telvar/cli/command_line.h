// The dispatcher's check of a command line against the command's description (the syntax of
// its table entry), before the command runs and so before anything is sent: global flags and
// their values, the command's own options, the address and the arguments after it.
#pragma once

#include <span>
#include <string>
#include <vector>

#include "telvar/cli/command_table.h"

namespace telvar {

struct checked_line {
    std::string refusal;            // why the line is refused; empty when it is not
    std::vector<std::size_t> yes;   // where -y / --yes stand: the dispatcher's, not the command's
    const char* user = nullptr;     // the value of -u
    bool password = false;          // whether a -p (other than -port) was given
    bool help = false;              // -h among the options: help is asked for, not a command
};

// `args` are the elements after the command word.
checked_line check_command_line(const command& c, std::span<char* const> args);

// Why a description is not well formed (an unknown kind, a value without its option), or empty.
std::string syntax_problem(const syntax& s);

}  // namespace telvar
