// The port-status report: one line of the port's type and state, then what is attached to it
// (the linked switch of a T_Port, the device of an F_Port, or a line per loop device). A loop
// device on an SL_Port takes its ALPA out of the available ones of the port's SL zone.
#include <arpa/inet.h>

#include "telvar/framework/name_tables.h"
#include "telvar/framework/output.h"
#include "telvar/telvar.h"

namespace {

using telvar::print;

void print_t_port(const tv_port_status& s) {
    print("Linked-to: ");
    show_wwn(s.t_port.remote_wwn, "  ");
    in_addr ip{};
    ip.s_addr = s.t_port.remote_ip;  // already in network order
    print("IP: %s  ", inet_ntoa(ip));
    print("FC: %x\n", s.t_port.remote_fc_addr);
}

void print_f_port(const tv_port_status& s) {
    print("Logged-in\n");
    print("    0x%06x    ", s.f_port.port_id);
    show_wwn(s.f_port.port_wwn, "  ");
    show_wwn(s.f_port.node_wwn, "\n");
}

void print_loop(const tv_port_status& s) {
    print("Devices: %2d   ", static_cast<int>(s.loop.count));
    print("Address: 0x%02x\n", s.loop.address);
    // Arrays that are missing (a record the library did not fill) list no device.
    if (s.loop.alpas == nullptr || s.loop.port_wwns == nullptr || s.loop.node_wwns == nullptr) return;
    for (uint32_t i = 0; i < s.loop.count; ++i) {
        print("        0x%02x    ", s.loop.alpas[i]);
        show_wwn(s.loop.port_wwns[i], "  ");
        show_wwn(s.loop.node_wwns[i], "\n");
        if (s.type == TV_PORT_TYPE_SL) record_alpa(static_cast<int32_t>(s.port), s.loop.alpas[i]);
    }
}

}  // namespace

extern "C" int32_t show_port_status(const tv_port_status* status) {
    if (status == nullptr) return 0;
    const tv_port_status& s = *status;
    print("Port:  %2d  %s  ", static_cast<int>(s.port + 1), telvar::name_of(Port_Types, s.type).c_str());
    if (s.operational == TV_PORT_STATE_OFF) {
        print(s.admin == TV_PORT_STATE_OFF ? "Admin Offline\n" : "Offline\n");
        return 0;
    }
    if (s.logged_in == 0) {
        print("Not-logged-in\n");
        return 0;
    }
    switch (s.type) {
        case TV_PORT_TYPE_T: print_t_port(s); break;
        case TV_PORT_TYPE_F: print_f_port(s); break;
        default: print_loop(s); break;
    }
    return tv_api_errno;
}
