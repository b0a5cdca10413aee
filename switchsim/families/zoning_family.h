// Zoning: hard, name-server and broadcast zone tables, SL zone ids per port and the WWN zone
// table, each in an active and a saved set; and the name-server zoning type.
//
// Zoning is stored and read back; it does not change what the name server shows a device.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "switchsim/core/fabric_basics.h"
#include "switchsim/core/family.h"

namespace sim {

// A zone of a bitmap table: its member ports (bit p: port p, counted from 0) and whether it
// is enabled.
struct bitmap_zone {
    std::uint64_t members = 0;
    bool enabled = false;

    bool operator==(const bitmap_zone&) const = default;
};

struct wwn_zone_entry {
    wwn_t wwn{};
    std::array<std::uint32_t, 8> zones{};  // bit b of word w: member of zone 32w + b

    bool operator==(const wwn_zone_entry&) const = default;
};

// Everything a save copies and a reset reloads.
struct zone_tables {
    std::array<bitmap_zone, 16> hard{};
    std::array<bitmap_zone, 256> name_server{};
    std::array<bitmap_zone, 16> broadcast{};
    std::vector<std::uint16_t> sl;       // zone id of every port
    std::vector<wwn_zone_entry> wwn;     // in the order the entries were added

    bool operator==(const zone_tables&) const = default;
};

struct zoning_state {
    zone_tables active;
    zone_tables saved;
    std::uint8_t ns_zoning_type = 0;  // 0 by port, 1 by WWN; kept as soon as it is set
};

struct zoning_family {
    using state = zoning_state;
    static const family_info& info();
};

}  // namespace sim
