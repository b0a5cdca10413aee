// Reports of per-port records: administrative and operational state, MFS mode. A port is
// given counted from 0 (or TV_ALL_PORTS) and printed counted from 1. Only entries that the
// record holds are printed: a port number beyond its count prints nothing for that port.
#include <algorithm>
#include <cstdint>
#include <string>

#include "telvar/framework/name_tables.h"
#include "telvar/framework/output.h"
#include "telvar/telvar.h"

namespace {

using telvar::name_of;
using telvar::print;

// The all-ports listing left-aligns the number so that the columns line up.
void print_state_line(bool all_ports, uint32_t index, const tv_port_state_entry& e) {
    const int number = static_cast<int>(index + 1);
    const std::string admin = name_of(Port_State, e.admin);
    const std::string oper = name_of(Port_State, e.operational);
    if (all_ports)
        print("Port: %-2d\tAdmin: %s, Operational: %s\n", number, admin.c_str(), oper.c_str());
    else
        print("Port: %d\tAdmin: %s, Operational: %s\n", number, admin.c_str(), oper.c_str());
}

void print_mfs_line(uint32_t index, uint8_t mode) {
    const auto code = static_cast<int8_t>(mode);  // the switch's byte, read as signed
    print("Port: %3d Mode: %1.1d %s\n", static_cast<int>(index + 1), code,
          name_of(MFS_Modes, code).c_str());
}

}  // namespace

extern "C" {

int32_t show_port_state(const tv_port_state* state, int32_t port) {
    if (state == nullptr || state->entries == nullptr) return 0;
    if (port == TV_ALL_PORTS) {
        for (uint32_t i = 0; i < state->count; ++i)
            print_state_line(true, i, state->entries[i]);
    } else if (port >= 0 && static_cast<uint32_t>(port) < state->count) {
        print_state_line(false, static_cast<uint32_t>(port), state->entries[port]);
    }
    return 0;
}

int32_t show_port_mfs_modes(int32_t port, const tv_port_mfs_modes* modes) {
    if (modes == nullptr || modes->modes == nullptr) return 0;
    if (port == TV_ALL_PORTS) {
        // Every port of the switch (Max_Ports), as far as the record reaches.
        const auto switch_ports = static_cast<uint32_t>(std::max(Max_Ports, 0));
        const uint32_t listed = std::min(switch_ports, modes->count);
        for (uint32_t i = 0; i < listed; ++i) print_mfs_line(i, modes->modes[i]);
    } else if (port >= 0 && static_cast<uint32_t>(port) < modes->count) {
        print_mfs_line(static_cast<uint32_t>(port), modes->modes[port]);
    }
    return 0;
}

}  // extern "C"
