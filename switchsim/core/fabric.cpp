// Lookups in the fabric, the reset of a switch and the fabric's consistency rules.
#include "switchsim/core/fabric.h"

#include <algorithm>
#include <set>
#include <span>

#include "telvar/utconfig.h"

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

bool fabric::link_up(const link& l) const {
    return operational_state(*this, l.switch_a, l.port_a) == TV_PORT_STATE_ON &&
           operational_state(*this, l.switch_b, l.port_b) == TV_PORT_STATE_ON;
}

// Breadth first from `from` over the links that are up, each switch's links in the order of
// its local ports, so that the first hop found is the lowest-numbered port of a shortest route.
std::vector<fabric::route> fabric::routes_from(std::size_t from) const {
    std::vector<route> r(switches.size());
    if (from >= switches.size()) return r;
    struct hop {
        std::size_t sw;
        std::uint8_t port;
        std::size_t far;
        auto operator<=>(const hop&) const = default;
    };
    std::vector<hop> hops;  // both directions of every link that is up, by switch and port
    hops.reserve(2 * links.size());
    for (const auto& l : links)
        if (link_up(l)) {
            hops.push_back({l.switch_a, l.port_a, l.switch_b});
            hops.push_back({l.switch_b, l.port_b, l.switch_a});
        }
    std::ranges::sort(hops);
    r[from].reachable = true;
    std::vector<std::size_t> frontier{from};
    for (std::size_t head = 0; head < frontier.size(); ++head) {
        const std::size_t sw = frontier[head];
        const auto [first, last] = std::equal_range(
            hops.begin(), hops.end(), hop{sw, 0, 0},
            [](const hop& a, const hop& b) { return a.sw < b.sw; });
        for (const hop& h : std::span(first, last)) {
            if (r[h.far].reachable) continue;
            r[h.far] = {true, static_cast<std::uint8_t>(r[sw].hops + 1), sw == from ? h.port : r[sw].port};
            frontier.push_back(h.far);
        }
    }
    return r;
}

// The switches reached so far as bits (a fabric has at most 64: one per chassis number), grown
// over the links that join a reached switch to one not reached yet until `to` is among them.
bool fabric::reaches(std::size_t from, std::size_t to) const {
    if (from == to) return true;
    if (switches.size() > 64) return routes_from(from).at(to).reachable;
    std::uint64_t reached = std::uint64_t{1} << from;
    for (bool grew = true; grew;) {
        grew = false;
        for (const auto& l : links) {
            const bool a = reached >> l.switch_a & 1, b = reached >> l.switch_b & 1;
            if (a == b || !link_up(l)) continue;
            reached |= std::uint64_t{1} << (a ? l.switch_b : l.switch_a);
            if (reached >> to & 1) return true;
            grew = true;
        }
    }
    return false;
}

void reset_switch(switch_state& s) {
    families::each([&](const family_info& f) {
        if (f.on_reset) f.on_reset(s);
    });
    s.booted = std::chrono::steady_clock::now();
}

std::string check_fabric(const fabric& f) {
    if (f.switches.empty()) return "the fabric has no switch";
    std::set<in_addr_t> ips;
    std::set<int> chassis;
    std::set<std::string> names;
    for (const auto& s : f.switches) {
        const std::string who = "switch " + s.name;
        if (s.ports.empty() || s.ports.size() > max_ports)
            return who + ": a switch has 1 to " + std::to_string(max_ports) + " ports";
        if (s.chassis > 63) return who + ": chassis numbers run from 0 to 63";
        if (!names.insert(s.name).second) return who + ": the name is used twice";
        if (!chassis.insert(s.chassis).second)
            return who + ": chassis " + std::to_string(s.chassis) + " is used twice";
        if (s.ip != 0 && !ips.insert(s.ip).second) return who + ": its IP address is used twice";
    }
    if (ips.empty()) return "no switch has an IP address, so nothing can be reached";
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
