// The options that the dispatcher parsed from a command's description and took off its line,
// for the commands that have no option loop of their own options (takes_parsed_options in
// command_table.h). Options are named as the description spells them: "-o", "--snapshot".
#pragma once

#include <string_view>
#include <utility>
#include <vector>

namespace telvar {

struct given_option {
    std::string_view name;
    const char* value = nullptr;  // the element after the option, or null for a flag
};

// Replaces the options handed to the command about to run.
void hand_options(std::vector<given_option> options);

// Whether an option was given.
bool option_given(std::string_view name);
// The value of an option that takes one, or null when it was not given; the last one counts.
const char* option_value(std::string_view name);
// Every value of an option that may be given more than once, in the order given.
std::vector<const char*> option_values(std::string_view name);

}  // namespace telvar
