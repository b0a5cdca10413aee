// The options handed to a command by the dispatcher (see given_options.h). One command runs per
// process, so one list is kept.
#include "telvar/cli/given_options.h"

#include <algorithm>

namespace telvar {

namespace {
std::vector<given_option> handed;
}

void hand_options(std::vector<given_option> options) { handed = std::move(options); }

bool option_given(std::string_view name) { return std::ranges::find(handed, name, &given_option::name) != handed.end(); }

const char* option_value(std::string_view name) {
    const auto last = std::ranges::find(handed.rbegin(), handed.rend(), name, &given_option::name);
    return last == handed.rend() ? nullptr : last->value;
}

std::vector<const char*> option_values(std::string_view name) {
    std::vector<const char*> out;
    for (const given_option& o : handed)
        if (o.name == name) out.push_back(o.value);
    return out;
}

}  // namespace telvar
