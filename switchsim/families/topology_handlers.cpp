// Topology, loop status and routing. A link is up while the ports at both its ends are
// operational, and the topology table shows only links that are up; routes are the shortest
// ones over those links. A port that carries a link is an inter-switch port whatever the
// fabric file says of its type.
#include <algorithm>
#include <array>

#include "proto/header.h"
#include "proto/topology/layout.h"
#include "switchsim/core/handlers.h"
#include "telvar/utconfig.h"
#include "telvar/utilmsg.h"

namespace sim {

namespace {

namespace w = tv::wire;
namespace L = tv::layout::topology;

// A manager's page cursors are dropped beyond this many, as managers come and go.
constexpr std::size_t cursor_limit = 1024;

std::uint32_t port_address(const switch_state& s, std::size_t port) {
    return L::device_addr(s.fc_addr, static_cast<std::uint32_t>(port), 0);
}

bool is_loop(std::uint8_t type) {
    return type == TV_PORT_TYPE_FL || type == TV_PORT_TYPE_SL || type == TV_PORT_TYPE_TL;
}

// The far end of the port's link, while the link is up.
std::optional<fabric::link_end> up_link(const fabric& f, std::size_t sw, std::uint8_t port) {
    const auto remote = f.remote_of(sw, port);
    if (!remote || !f.link_up({sw, port, remote->sw, remote->port})) return std::nullopt;
    return remote;
}

// The first entry of the page this request gets.
std::size_t page_start(request_ctx& c) {
    const std::size_t n = c.self().ports.size();
    auto& cursors = c.state<topology_state>().cursors;
    const std::uint32_t seq = w::get_be32(c.req, tv::off::seq);
    const auto it = cursors.find(c.session());
    std::size_t start = 0;
    if (it != cursors.end()) start = it->second.seq == seq ? it->second.start : it->second.next;
    const std::size_t next = start + L::topo::per_page < n ? start + L::topo::per_page : 0;
    if (start == 0 && next == 0) {
        if (it != cursors.end()) cursors.erase(it);
    } else {
        if (cursors.size() >= cursor_limit) cursors.clear();
        cursors[c.session()] = {seq, static_cast<std::uint8_t>(start), static_cast<std::uint8_t>(next)};
    }
    return start;
}

void topology(request_ctx& c) {
    const switch_state& self = c.self();
    const std::size_t start = page_start(c);
    auto m = c.reply(L::topo::ret_len);
    std::uint8_t up = 0;
    for (std::size_t p = 0; p < self.ports.size(); ++p)
        up += up_link(c.fab, c.sw, static_cast<std::uint8_t>(p)) ? 1 : 0;
    w::put_u8(m, L::topo::count, static_cast<std::uint8_t>(self.ports.size()));
    w::put_u8(m, L::topo::info1, self.chassis);
    w::put_u8(m, L::topo::info2, up);
    w::put_be32(m, L::topo::fc_addr, self.fc_addr);
    const std::size_t n =
        self.ports.size() > start ? std::min(L::topo::per_page, self.ports.size() - start) : 0;
    for (std::size_t i = 0; i < n; ++i) {
        const auto port = static_cast<std::uint8_t>(start + i);
        const std::size_t at = L::topo::entry_at(i);
        w::put_be32(m, at + L::topo::local_fc_addr, port_address(self, port));
        const auto remote = up_link(c.fab, c.sw, port);
        if (!remote) continue;
        const switch_state& other = c.fab.switches[remote->sw];
        w::put_u8(m, at + L::topo::remote_chassis, other.chassis);
        w::put_u8(m, at + L::topo::entry_info1, remote->port);
        w::put_u8(m, at + L::topo::entry_info2, 1);
        w::put_be32(m, at + L::topo::remote_fc_addr, port_address(other, remote->port));
    }
}

// A topology request that follows anything else starts at the first page again.
void forget_pages(request_ctx& c) {
    auto& cursors = c.state<topology_state>().cursors;
    if (cursors.empty()) return;
    if (w::get_be16(c.req, tv::off::command) == TV_CMD_CONFIG &&
        w::get_be32(c.req, tv::off::subcmd) == L::subcmd::topology)
        return;
    cursors.erase(c.session());
}

void al_port_status(request_ctx& c) {
    const std::uint8_t port = w::get_u8(c.req, L::port_at);
    auto m = c.reply(L::al::ret_len);
    if (!c.valid_port(port)) {
        c.status = status_bad_request;
        return;
    }
    // The loop address of the switch's own port on a loop is 0x00.
    w::put_u8(m, L::al::port, port);
    w::put_be32(m, L::al::base_addr, port_address(c.self(), port));
    const auto type = c.state<port_state>().active[port].type;
    if (!is_loop(type) || operational_state(c.fab, c.sw, port) != TV_PORT_STATE_ON) return;
    const auto& devices = c.self().ports[port].devices;
    const std::size_t n = std::min(devices.size(), L::al::max_alpas);
    w::put_u8(m, L::al::count, static_cast<std::uint8_t>(n));
    for (std::size_t i = 0; i < n; ++i) w::put_u8(m, L::al::alpas + i, devices[i].alpa);
}

void port_steering(request_ctx& c) {
    namespace S = L::steering;
    const std::uint8_t port = w::get_u8(c.req, L::port_at);
    auto m = c.reply(S::ret_len);
    if (!c.valid_port(port)) {
        c.status = status_bad_request;
        return;
    }
    const auto routes = c.fab.routes_from(c.sw);
    std::uint8_t valid = 0;
    for (std::size_t k = 0; k < routes.size(); ++k) {
        if (k == c.sw || !routes[k].reachable) continue;
        const std::uint8_t ch = c.fab.switches[k].chassis;
        w::put_u8(m, S::table0 + ch, routes[k].hops);
        w::put_u8(m, S::route_valid + ch, 1);
        w::put_u8(m, S::route_port + ch, routes[k].port);
        ++valid;
    }
    w::put_u8(m, S::info1, c.self().chassis);
    w::put_u8(m, S::info2, valid);
}

constexpr std::array<handler_entry, 3> table{{
    {TV_CMD_CONFIG, L::subcmd::topology, topology, true, "topology"},
    {TV_CMD_CONFIG, L::subcmd::al_port_status, al_port_status, true, "loop status"},
    {TV_CMD_CONFIG, L::subcmd::port_steering, port_steering, true, "routing table"},
}};

// Both ends of a link are inter-switch ports, in the active and the saved configuration.
void make_link_ports(const fields&, fabric& f) {
    for (const auto& l : f.links)
        for (const auto& [sw, port] : {std::pair{l.switch_a, l.port_a}, std::pair{l.switch_b, l.port_b}}) {
            auto& st = f.switches[sw].get<port_state>();
            for (auto* set : {&st.active, &st.saved}) {
                if (port >= set->size()) continue;
                (*set)[port].type = TV_PORT_TYPE_T;
                (*set)[port].al_disabled = 1;
            }
        }
}

}  // namespace

const family_info& topology_family::info() {
    static const family_info f{.name = "topology",
                               .handlers = table,
                               .read_fabric = make_link_ports,
                               .on_request = forget_pages};
    return f;
}

}  // namespace sim
