// The name server (command 0x33) and the initiator table of a switch.
//
// An object's address is the switch's domain and area, its port and its ALPA. Devices on loop
// ports register as NL_Ports, the others as N_Ports. The objects are indexed once for the
// fabric's port states and found by binary search, so a walk over ten thousand devices costs
// each query a lookup, not a scan.
#include <algorithm>
#include <array>

#include "proto/name_server/layout.h"
#include "proto/topology/layout.h"
#include "switchsim/core/fabric_fields.h"
#include "switchsim/core/handlers.h"
#include "telvar/utconfig.h"
#include "telvar/utilmsg.h"

namespace sim {

namespace {

namespace w = tv::wire;
namespace L = tv::layout::name_server;

constexpr std::uint8_t n_port = 0x01, nl_port = 0x02;

// What the index depends on: for every port, whether it is up and how many devices it has;
// and the number of links. Worked out on every query, so it reads the ports directly: a port
// is up when it has not failed and its admin state is on (operational_state's rule).
void index_key(const fabric& f, std::vector<std::uint16_t>& key) {
    key.clear();
    for (const switch_state& s : f.switches) {
        const auto& cfg = s.get<port_state>().active;
        for (std::size_t p = 0; p < s.ports.size(); ++p) {
            const bool up = !s.ports[p].failed && p < cfg.size() && cfg[p].admin == TV_PORT_STATE_ON;
            key.push_back(up ? static_cast<std::uint16_t>(s.ports[p].devices.size() + 1) : 0);
        }
    }
    key.push_back(static_cast<std::uint16_t>(f.links.size()));
}

void build_index(const fabric& f, name_server_fabric_state& ns) {
    constexpr std::size_t none = SIZE_MAX;
    ns.segment_of.assign(f.switches.size(), none);
    ns.segments.clear();
    for (std::size_t sw = 0; sw < f.switches.size(); ++sw) {
        if (ns.segment_of[sw] != none) continue;
        const auto routes = f.routes_from(sw);
        for (std::size_t k = 0; k < routes.size(); ++k)
            if (routes[k].reachable) ns.segment_of[k] = ns.segments.size();
        ns.segments.emplace_back();
    }
    for (std::size_t sw = 0; sw < f.switches.size(); ++sw) {
        const switch_state& s = f.switches[sw];
        auto& objects = ns.segments[ns.segment_of[sw]];
        for (std::size_t p = 0; p < s.ports.size(); ++p) {
            if (operational_state(f, sw, static_cast<std::uint8_t>(p)) != TV_PORT_STATE_ON) continue;
            for (std::size_t d = 0; d < s.ports[p].devices.size(); ++d)
                objects.push_back({tv::layout::topology::device_addr(
                                       s.fc_addr, static_cast<std::uint32_t>(p), s.ports[p].devices[d].alpa),
                                   static_cast<std::uint32_t>(sw), static_cast<std::uint8_t>(p),
                                   static_cast<std::uint16_t>(d)});
        }
    }
    for (auto& objects : ns.segments)
        std::ranges::sort(objects, {}, &ns_object::port_id);
}

// The name server's objects as switch `sw` sees them, in address order.
const std::vector<ns_object>& name_server_objects(fabric& f, std::size_t sw) {
    auto& ns = f.get<name_server_fabric_state>();
    // Nothing can have changed since the last look while only read-only requests came.
    if (ns.checked_at != f.revision || ns.segment_of.size() != f.switches.size()) {
        thread_local std::vector<std::uint16_t> key;
        index_key(f, key);
        if (key != ns.built_for || ns.segment_of.size() != f.switches.size()) {
            build_index(f, ns);
            ns.built_for = key;
        }
        ns.checked_at = f.revision;
    }
    return ns.segments[ns.segment_of[sw]];
}

// The object a query asks for, or null.
const ns_object* find(const std::vector<ns_object>& objects, std::uint32_t query, std::uint32_t id,
                      bool wrap) {
    if (query == L::query::next) {
        const auto it = std::ranges::upper_bound(objects, id, {}, &ns_object::port_id);
        if (it != objects.end()) return &*it;
        return wrap && !objects.empty() ? &objects.front() : nullptr;
    }
    const auto it = std::ranges::lower_bound(objects, id, {}, &ns_object::port_id);
    return it != objects.end() && it->port_id == id ? &*it : nullptr;
}

bool on_loop(const fabric& f, const ns_object& o) {
    const std::uint8_t type = f.switches[o.sw].get<port_state>().active[o.port].type;
    return type == TV_PORT_TYPE_FL || type == TV_PORT_TYPE_SL || type == TV_PORT_TYPE_TL;
}

void put_symname(w::bytes m, std::size_t len_at, std::size_t name_at, const std::string& name) {
    const std::size_t n = std::min(name.size(), L::symname_max);
    w::put_u8(m, len_at, static_cast<std::uint8_t>(n));
    w::put_bytes(m, name_at, name.data(), n);
}

void put_port_half(w::bytes m, const fabric& f, const ns_object& o, const device& d) {
    namespace P = L::port_half;
    w::put_u8(m, P::port, o.port);
    w::put_u8(m, P::port_type, on_loop(f, o) ? nl_port : n_port);
    w::put_be24(m, P::port_id, o.port_id);
    w::put_bytes(m, P::port_wwn, d.port_wwn.data(), d.port_wwn.size());
    put_symname(m, P::symname_len, P::symname, d.port_name);
}

void put_node_half(w::bytes m, const device& d) {
    namespace N = L::node_half;
    w::put_bytes(m, N::node_wwn, d.node_wwn.data(), d.node_wwn.size());
    put_symname(m, N::symname_len, N::symname, d.node_name);
    for (std::size_t i = 0; i < d.ip.size(); ++i) w::put_be32(m, N::ip_addr + 4 * i, d.ip[i]);
    w::put_be32(m, N::cos, d.cos);
    std::array<std::uint32_t, N::fc4_words> bits{};
    for (const std::uint8_t t : d.fc4_types) bits[t >> 5] |= 1u << (t & 31);
    for (std::size_t i = 0; i < bits.size(); ++i) w::put_be32(m, N::fc4_types + 4 * i, bits[i]);
}

void name_server_query(request_ctx& c) {
    const std::uint32_t query = w::get_be32(c.req, L::query_at);
    const std::uint16_t half = w::get_be16(c.req, L::half_at);
    const std::uint32_t id = w::get_be32(c.req, L::port_id_at) & 0xFFFFFF;
    auto m = c.reply(L::msg_len);
    const bool known = query == L::query::object || query == L::query::next || query == L::query::node_name;
    if (!known || half > L::half::node) {
        c.status = status_bad_request;
        return;
    }
    const auto& objects = name_server_objects(c.fab, c.sw);
    const ns_object* o = find(objects, query, id, c.fab.get<name_server_fabric_state>().wrap_after_last);
    if (o == nullptr) {
        w::put_u8(m, L::port_half::refused, 1);
        w::put_u8(m, L::port_half::reason, L::reason_no_object);
        return;
    }
    const device& d = c.fab.switches[o->sw].ports[o->port].devices[o->device];
    if (query == L::query::node_name || half == L::half::node)
        put_node_half(m, d);
    else
        put_port_half(m, c.fab, *o, d);
}

// The initiators logged in on the switch, in the order of its ports and of their devices; the
// table holds the first 16.
void initiators(request_ctx& c) {
    namespace I = L::initiators;
    auto m = c.reply(I::ret_len);
    const switch_state& s = c.self();
    std::size_t k = 0;
    for (std::size_t p = 0; p < s.ports.size() && k < I::max; ++p) {
        if (operational_state(c.fab, c.sw, static_cast<std::uint8_t>(p)) != TV_PORT_STATE_ON) continue;
        for (const device& d : s.ports[p].devices) {
            if (!d.initiator || k == I::max) continue;
            w::put_u8(m, I::port + k, static_cast<std::uint8_t>(p));
            w::put_u8(m, I::alpa + k, d.alpa);
            w::put_be32(m, I::value + 4 * k,
                        tv::layout::topology::device_addr(s.fc_addr, static_cast<std::uint32_t>(p), d.alpa));
            w::put_bytes(m, I::node_wwn + 8 * k, d.node_wwn.data(), d.node_wwn.size());
            w::put_bytes(m, I::port_wwn + 8 * k, d.port_wwn.data(), d.port_wwn.size());
            ++k;
        }
    }
    w::put_u8(m, I::count, static_cast<std::uint8_t>(k));
}

constexpr std::array<handler_entry, 2> table{{
    {TV_CMD_NAME_SERVER, 0, name_server_query, true, "name server", true},
    {TV_CMD_CONFIG, L::initiators::subcmd, initiators, true, "initiators"},
}};

constexpr std::array<std::string_view, 1> fabric_keys{"name_server"};

void read_fabric(const fields& top, fabric& f) {
    if (!top.has("name_server")) return;
    const fields ns = top.at("name_server");
    static constexpr std::array<std::string_view, 1> keys{"after_last"};
    ns.expect_object(keys);
    if (ns.has("after_last"))
        f.get<name_server_fabric_state>().wrap_after_last =
            ns.at("after_last").as_code({{"wrap", 1}, {"refuse", 0}}) == 1;
}

}  // namespace

const family_info& name_server_family::info() {
    static const family_info f{.name = "name server",
                               .handlers = table,
                               .fabric_keys = fabric_keys,
                               .read_fabric = read_fabric};
    return f;
}

}  // namespace sim
