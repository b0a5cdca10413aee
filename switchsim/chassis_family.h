// Chassis-wide commands: the switch reset.
#pragma once

#include "family.h"

namespace sim {

struct chassis_state {};

struct chassis_family {
    using state = chassis_state;
    static const family_info& info();
};

}  // namespace sim
