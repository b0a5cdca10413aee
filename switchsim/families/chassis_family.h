// Chassis configuration: the switch parameter block (timeouts, stage type, per-port settings)
// in an active and a saved set, chassis mode and type, the SL-zoning-mode flag, the network
// settings, and the switch reset with the moment the switch stays silent after it.
#pragma once

#include <array>
#include <cstdint>
#include <optional>

#include "switchsim/core/family.h"

namespace sim {

// The parameter block of a switch, but for its port count and MFS modes, which the port family
// keeps (port_config::mfs_mode, active and saved).
struct parameter_set {
    std::uint8_t stage_type = 0;  // 0: not a crosslink stage
    std::uint16_t mfs_tov = 0;
    std::uint32_t rt_tov = 100;
    std::uint32_t ra_tov = 10000;
    std::uint32_t ed_tov = 2000;
    std::array<std::uint8_t, 16> setting_a{};  // not interpreted
    std::array<std::uint8_t, 16> force_f_port{};
    std::array<std::uint8_t, 4> opaque{};  // block bytes 21, 22, 24 and 25: kept, not interpreted

    bool operator==(const parameter_set&) const = default;
};

// Each address a number, most significant byte first (10.0.0.5 is 0x0A000005).
struct net_settings {
    std::optional<std::uint32_t> ip_addr;  // unset: the address the switch answers on
    std::uint32_t ip_mask = 0xFFFFFF00u;
    std::uint32_t ip_broadcast = 0;
    std::uint32_t ip_gateway = 0;
    std::uint32_t ip_auto = 0;  // 0 fixed, 1 BOOTP, 2 RARP
    std::uint32_t arp_timeout = 600;

    bool operator==(const net_settings&) const = default;
};

struct chassis_state {
    parameter_set active;
    parameter_set saved;
    std::array<std::uint8_t, 24> tail{};  // message bytes 88-111 of a block answer
    std::uint8_t mode = 1;                // 1 online, 2 offline, 3 test; online after a reset
    std::uint8_t type = 1;                // 1 stage chassis, else hub
    bool sl_zoning = false;               // the flag of the chassis-type answer
    net_settings net;                     // one set, kept across resets
    std::uint32_t reset_ms = 0;           // how long the switch is silent after a reset
};

struct chassis_family {
    using state = chassis_state;
    static const family_info& info();
};

}  // namespace sim
