// The command words of the tool, in the order of the usage text.
#include "command_table.h"

#include <algorithm>
#include <array>

#include "telvar.h"
#include "tool_commands.h"

namespace telvar {

namespace {

namespace t = tool;

constexpr std::array table{
    command{"discover", t::discover, 2, 2},
    command{"version", t::version, 4, 1},
    command{"chassis_status", t::chassis_status, 5, 1},
    command{"port_state", t::port_state, 18, 1},
    command{"port_type", t::port_type, 19, 1},
    command{"get_zone", t::get_zone, 29, 2},
    command{"set_zone", t::set_zone, 31, 2},
    command{"disable_zone_type", disable_zone_type, 33, 2},
    command{"ns_zone_type", ns_zone_type, 36, 2},
    command{"wwn_zone", wwn_zone, 38, 4},
    command{"get_wwn_zone", get_wwn_zone, 42, 1},
    command{"set_wwn_zone", set_wwn_zone, 43, 2},
    command{"rem_wwn_zone", rem_wwn_zone, 45, 1},
    command{"switch_reset", switch_reset, 47, 1},
};

}  // namespace

std::span<const command> commands() { return table; }

const command* find_command(std::string_view word) {
    const auto it = std::ranges::find(table, word, &command::word);
    return it == table.end() ? nullptr : &*it;
}

}  // namespace telvar
