// Lookups and the rules that derive what a switch reports from its state.
#include "fabric.h"

#include <set>

#include "utconfig.h"

namespace sim {

std::optional<std::size_t> fabric::find_by_ip(in_addr_t ip) const {
    for (std::size_t i = 0; i < switches.size(); ++i)
        if (switches[i].ip == ip && ip != 0) return i;
    return std::nullopt;
}

std::optional<std::size_t> fabric::find_by_chassis(std::uint8_t chassis) const {
    for (std::size_t i = 0; i < switches.size(); ++i)
        if (switches[i].chassis == chassis) return i;
    return std::nullopt;
}

std::optional<fabric::link_end> fabric::remote_of(std::size_t sw, std::uint8_t port) const {
    for (const auto& l : links) {
        if (l.switch_a == sw && l.port_a == port) return link_end{l.switch_b, l.port_b};
        if (l.switch_b == sw && l.port_b == port) return link_end{l.switch_a, l.port_a};
    }
    return std::nullopt;
}

const user* switch_state::find_user(const std::string& id) const {
    for (const auto& u : users)
        if (u.id == id) return &u;
    return nullptr;
}

std::uint8_t operational_state(const fabric& f, std::size_t sw, std::uint8_t port) {
    const auto& p = f.switches.at(sw).ports.at(port);
    if (p.failed) return TV_PORT_STATE_FAIL;
    if (p.cfg.admin == TV_PORT_STATE_ON || p.cfg.admin == TV_PORT_STATE_OFF ||
        p.cfg.admin == TV_PORT_STATE_TEST)
        return p.cfg.admin;
    return TV_PORT_STATE_INVALID;
}

bool logged_in(const fabric& f, std::size_t sw, std::uint8_t port) {
    if (operational_state(f, sw, port) != TV_PORT_STATE_ON) return false;
    if (!f.switches.at(sw).ports.at(port).devices.empty()) return true;
    // A link counts only when the port at the other end is up too.
    const auto remote = f.remote_of(sw, port);
    return remote && operational_state(f, remote->sw, remote->port) == TV_PORT_STATE_ON;
}

std::optional<std::uint8_t> type_for_wire_code(const fabric& f, std::size_t sw, std::uint8_t port,
                                               std::uint8_t wire_code) {
    switch (wire_code) {
        case 1:
            // A fabric port: the switch decides between F, FL and T from what it sees.
            if (f.remote_of(sw, port)) return TV_PORT_TYPE_T;
            return f.switches.at(sw).ports.at(port).cfg.al_disabled ? TV_PORT_TYPE_F
                                                                     : TV_PORT_TYPE_FL;
        case TV_PORT_TYPE_SL:
        case TV_PORT_TYPE_TL:
            return wire_code;
        default:
            return std::nullopt;
    }
}

void save_config(switch_state& s) {
    s.saved_ports.clear();
    for (const auto& p : s.ports) s.saved_ports.push_back(p.cfg);
}

void reload_config(switch_state& s) {
    for (std::size_t i = 0; i < s.ports.size() && i < s.saved_ports.size(); ++i)
        s.ports[i].cfg = s.saved_ports[i];
}

std::string check_fabric(const fabric& f) {
    if (f.switches.empty()) return "the fabric has no switch";
    std::set<in_addr_t> ips;
    std::set<int> chassis;
    for (const auto& s : f.switches) {
        const std::string who = "switch " + s.name;
        if (s.ports.empty() || s.ports.size() > max_ports)
            return who + ": a switch has 1 to " + std::to_string(max_ports) + " ports";
        if (s.chassis > 63) return who + ": chassis numbers run from 0 to 63";
        if (!chassis.insert(s.chassis).second)
            return who + ": chassis " + std::to_string(s.chassis) + " is used twice";
        if (s.ip != 0 && !ips.insert(s.ip).second) return who + ": its IP address is used twice";
    }
    std::set<std::pair<std::size_t, int>> used;
    for (const auto& l : f.links) {
        if (l.switch_a >= f.switches.size() || l.switch_b >= f.switches.size())
            return "a link names a switch that does not exist";
        if (l.switch_a == l.switch_b) return "a link joins a switch to itself";
        if (l.port_a >= f.switches[l.switch_a].ports.size() ||
            l.port_b >= f.switches[l.switch_b].ports.size())
            return "a link names a port that does not exist";
        if (!used.insert({l.switch_a, l.port_a}).second ||
            !used.insert({l.switch_b, l.port_b}).second)
            return "a port carries two links";
    }
    return {};
}

}  // namespace sim
