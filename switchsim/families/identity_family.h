// Identity and chassis status: what the version, model, chassis-status, sensor and
// system-information answers report.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "switchsim/core/fabric_basics.h"
#include "switchsim/core/family.h"

namespace sim {

struct fan {
    bool installed = true;
    std::uint8_t status = 0;  // 0 OK, 1 failed
};

struct identity_state {
    std::uint32_t flash_rev = 0;
    std::uint32_t hw_rev = 0;
    std::uint32_t prom_rev = 0;
    std::uint32_t ver_info1 = 0;
    std::uint32_t ver_info2 = 0;
    std::uint32_t ver_info4 = 0;
    wwn_t wwn{};
    mac_t mac{};
    std::uint8_t model = 1;

    std::uint8_t power_status = 0;
    std::uint8_t temp_status = 0;
    std::int32_t temperature = 60;  // half degrees Celsius
    std::array<fan, 2> fans{};
    std::uint8_t sensor_index = 0;
    std::array<std::uint8_t, 12> sensor_states{};

    std::string description;
    std::string contact;
    std::string location;
};

struct identity_family {
    using state = identity_state;
    static const family_info& info();
};

}  // namespace sim
