// The embedded default fabric. Its three switches differ on purpose so that the demo and the
// tests meet every branch of the reports: firmware generations with different sensor codes,
// a missing and a failed fan, loops of every kind, offline and failed ports.
//
//   sw1 (chassis 1) port 16 ---- port 1 sw2 (chassis 2) port 16 ---- port 1 sw3 (chassis 3)
#include "default_fabric.h"

#include <arpa/inet.h>

#include "utconfig.h"

namespace sim {

namespace {

wwn_t make_wwn(std::uint8_t prefix, std::uint8_t sw, std::uint8_t port, std::uint8_t n) {
    return {prefix, 0x00, 0x00, 0x00, 0x5e, sw, port, n};
}

device attached(std::uint8_t sw, std::uint8_t port, std::uint8_t alpa, std::uint8_t n,
                bool initiator) {
    device d;
    d.alpa = alpa;
    d.port_wwn = make_wwn(0x21, sw, port, n);
    d.node_wwn = make_wwn(0x20, sw, port, n);
    d.initiator = initiator;
    return d;
}

port make_port(std::uint8_t type, std::uint8_t gbic) {
    port p;
    p.cfg.type = type;
    p.cfg.al_disabled = (type == TV_PORT_TYPE_F || type == TV_PORT_TYPE_T) ? 1 : 0;
    p.cfg.mfs_mode = (type == TV_PORT_TYPE_FL || type == TV_PORT_TYPE_SL) ? 4 : 0;
    p.gbic = gbic;
    return p;
}

switch_state base_switch(std::uint8_t k, in_addr_t ip) {
    switch_state s;
    s.name = "sw" + std::to_string(k);
    s.ip = ip;
    s.chassis = k;
    s.fc_addr = fc_addr_of_chassis(k);
    s.hw_rev = 0x0300 + k;
    s.prom_rev = 0x0105;
    s.ver_info1 = 0x00010000u | k;
    s.ver_info2 = 0;
    s.ver_info4 = 0;
    s.wwn = make_wwn(0x10, k, 0, 0);
    s.mac = {0x02, 0x00, 0x5e, 0x00, 0x53, k};
    s.model = k;
    s.description = "Simulated 16-port Fibre Channel switch " + s.name;
    s.contact = "SAN operations";
    s.location = "Lab rack " + std::to_string(k);
    s.users = {{"admin", "password", 3}, {"oper", "oper1234", 1}};
    for (std::uint8_t i = 0; i < 16; ++i)
        s.ports.push_back(make_port(TV_PORT_TYPE_F, i < 12 ? (i % 3 == 2 ? 1 : 0) : 7));
    return s;
}

}  // namespace

fabric default_fabric(in_addr_t base) {
    const auto ip_of = [base](std::uint8_t k) { return htonl(ntohl(base) + k - 1); };
    fabric f;

    // sw1: the newest firmware; hosts, a public loop, SL and TL loops, an offline port.
    switch_state s1 = base_switch(1, ip_of(1));
    s1.flash_rev = 0x0040119A;
    s1.temperature = 62;
    s1.sensor_index = 2;
    s1.sensor_states = {3, 3, 3, 3, 5, 3, 3, 3, 3, 3, 3, 3};
    s1.ports[0].devices = {attached(1, 1, 0, 1, true)};
    s1.ports[1].devices = {attached(1, 2, 0, 1, false)};
    s1.ports[2] = make_port(TV_PORT_TYPE_FL, 0);
    s1.ports[2].devices = {attached(1, 3, 0x01, 1, false), attached(1, 3, 0x02, 2, false),
                           attached(1, 3, 0x04, 3, false)};
    s1.ports[3] = make_port(TV_PORT_TYPE_SL, 0);
    s1.ports[3].devices = {attached(1, 4, 0x01, 1, false), attached(1, 4, 0xEF, 2, true)};
    s1.ports[4] = make_port(TV_PORT_TYPE_TL, 3);
    s1.ports[4].devices = {attached(1, 5, 0xE8, 1, false)};
    s1.ports[13].cfg.admin = TV_PORT_STATE_OFF;
    s1.ports[15] = make_port(TV_PORT_TYPE_T, 1);

    // sw2: older firmware (older sensor codes), fan 1 not installed, a failed port.
    switch_state s2 = base_switch(2, ip_of(2));
    s2.flash_rev = 0x00040118;
    s2.temperature = 51;
    s2.fans[0].installed = false;
    s2.sensor_index = 0;
    s2.sensor_states = {2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2};
    s2.ports[0] = make_port(TV_PORT_TYPE_T, 1);
    s2.ports[1].devices = {attached(2, 2, 0, 1, true)};
    s2.ports[2] = make_port(TV_PORT_TYPE_FL, 0);
    s2.ports[2].devices = {attached(2, 3, 0x01, 1, false), attached(2, 3, 0x02, 2, false)};
    s2.ports[6].failed = true;
    s2.ports[15] = make_port(TV_PORT_TYPE_T, 1);

    // sw3: old firmware in SL-zoning mode, a failed fan and a failed sensor.
    switch_state s3 = base_switch(3, ip_of(3));
    s3.flash_rev = 0x00030400;
    s3.temperature = 70;
    s3.fans[1].status = 1;
    s3.sensor_index = 1;
    s3.sensor_states = {3, 4, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3};
    s3.ports[0] = make_port(TV_PORT_TYPE_T, 1);
    s3.ports[1].devices = {attached(3, 2, 0, 1, false)};
    s3.ports[2] = make_port(TV_PORT_TYPE_SL, 0);
    s3.ports[2].devices = {attached(3, 3, 0x01, 1, false), attached(3, 3, 0x02, 2, false)};

    f.switches = {std::move(s1), std::move(s2), std::move(s3)};
    f.links = {{0, 15, 1, 0}, {1, 15, 2, 0}};
    for (auto& s : f.switches) save_config(s);
    return f;
}

}  // namespace sim
