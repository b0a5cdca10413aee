// Management variables: the text interface of a switch. Variables that mirror the switch's
// real state (its identity, its ports' configuration) are read from and written to the
// families that own that state; the rest are kept here.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "switchsim/core/family.h"

namespace sim {

struct sml_state {
    std::vector<std::uint8_t> speed;  // per port: 0 auto, else the speed in Gb/s (1 or 2)
    std::vector<std::pair<std::string, std::string>> variables;  // name, value; in file order
};

struct sml_family {
    using state = sml_state;
    static const family_info& info();
};

}  // namespace sim
