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
    command{"chassis_mode", chassis_mode, 6, 2},
    command{"chassis_tovs", chassis_tovs, 8, 2},
    command{"defaults", defaults, 11, 1},
    command{"port_state", t::port_state, 18, 1},
    command{"port_type", t::port_type, 19, 1},
    command{"switch_reset", switch_reset, 47, 1},
};

}  // namespace

std::span<const command> commands() { return table; }

const command* find_command(std::string_view word) {
    const auto it = std::ranges::find(table, word, &command::word);
    return it == table.end() ? nullptr : &*it;
}

}  // namespace telvar
