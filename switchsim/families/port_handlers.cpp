// Port configuration: port types, loop mode, MFS mode and administrative state.
//
// The port-state answer packs seven per-port arrays back to back with a stride of the port
// count: admin state, an array the switch keeps for itself (the saved admin state here),
// operational state, type, logged-in flag, loop-disabled flag and MFS mode.
#include <array>

#include "proto/ports/layout.h"
#include "switchsim/core/fabric_fields.h"
#include "switchsim/core/handlers.h"
#include "telvar/utconfig.h"
#include "telvar/utilmsg.h"

namespace sim {

namespace {

namespace w = tv::wire;
namespace L = tv::layout::ports;
using L::port_array;

constexpr std::uint8_t max_mfs_mode = 6;

const port_config& config_of(const fabric& f, std::size_t sw, std::uint8_t port) {
    return f.switches.at(sw).get<port_state>().active.at(port);
}

void port_types(request_ctx& c) {
    const auto& cfg = c.state<port_state>().active;
    auto m = c.reply(L::types_ret_len);
    w::put_u8(m, L::count_at, static_cast<std::uint8_t>(cfg.size()));
    for (std::size_t i = 0; i < cfg.size(); ++i) w::put_u8(m, L::arrays_at + i, cfg[i].type);
}

void port_state_answer(request_ctx& c) {
    const auto& st = c.state<port_state>();
    const auto n = static_cast<std::uint32_t>(st.active.size());
    auto m = c.reply(L::state_ret_len);
    w::put_u8(m, L::count_at, static_cast<std::uint8_t>(n));
    const auto put = [&](port_array a, std::size_t i, std::uint8_t v) {
        w::put_u8(m, L::port_array_at(a, n) + i, v);
    };
    for (std::size_t i = 0; i < n; ++i) {
        const auto& p = st.active[i];
        const auto port = static_cast<std::uint8_t>(i);
        put(port_array::admin, i, p.admin);
        put(port_array::reserved, i, i < st.saved.size() ? st.saved[i].admin : 0);
        put(port_array::operational, i, operational_state(c.fab, c.sw, port));
        put(port_array::type, i, p.type);
        put(port_array::logged_in, i, logged_in(c.fab, c.sw, port) ? 1 : 0);
        put(port_array::al_disabled, i, p.al_disabled);
        put(port_array::mfs_mode, i, p.mfs_mode);
    }
}

void set_port_state(request_ctx& c) {
    auto& cfg = c.state<port_state>().active;
    c.reply(L::set_state_ret_len);
    const std::size_t n = std::min<std::size_t>(w::get_u8(c.req, L::count_at), cfg.size());
    // Only on, off and test can be asked for; refuse the whole vector otherwise.
    for (std::size_t i = 0; i < n; ++i)
        if (w::get_u8(c.req, L::arrays_at + i) > TV_PORT_STATE_TEST) {
            c.status = status_bad_request;
            return;
        }
    for (std::size_t i = 0; i < n; ++i) cfg[i].admin = w::get_u8(c.req, L::arrays_at + i);
}

template <std::uint8_t Disabled>
void set_loop_mode(request_ctx& c) {
    c.reply(L::set_port_ret_len);
    const std::size_t port = w::get_u8(c.req, L::port_at);
    if (!c.valid_port(port)) {
        c.status = status_bad_request;
        return;
    }
    c.state<port_state>().active[port].al_disabled = Disabled;
}

void set_port_type(request_ctx& c) {
    c.reply(L::set_port_ret_len);
    const std::uint8_t port = w::get_u8(c.req, L::port_at);
    const auto type = c.valid_port(port)
                          ? type_for_wire_code(c.fab, c.sw, port, w::get_u8(c.req, L::value_at))
                          : std::nullopt;
    if (!type) {
        c.status = status_bad_request;
        return;
    }
    c.state<port_state>().active[port].type = *type;
}

// Sent after a port type when asked for; the new type is already in force here.
void apply_port_config(request_ctx& c) { c.reply(L::follow_up_len); }

// Port 0xFF (the byte of -1) sets every port.
void set_mfs_mode(request_ctx& c) {
    c.reply(L::set_mfs_ret_len);
    const std::size_t port = w::get_u8(c.req, L::port_at);
    const std::uint8_t mode = w::get_u8(c.req, L::value_at);
    const bool all = port == 0xFF;
    if ((!all && !c.valid_port(port)) || mode > max_mfs_mode) {
        c.status = status_bad_request;
        return;
    }
    auto& active = c.state<port_state>().active;
    for (std::size_t p = 0; p < active.size(); ++p)
        if (all || p == port) active[p].mfs_mode = mode;
}

constexpr std::array<handler_entry, 8> table{{
    {TV_CMD_CONFIG, L::subcmd::port_types, port_types, true, "port types"},
    {TV_CMD_CONFIG, L::subcmd::port_state, port_state_answer, true, "port state"},
    {TV_CMD_CONFIG, L::subcmd::set_port_state, set_port_state, true, "set port state"},
    {TV_CMD_CONFIG, L::subcmd::al_disable, set_loop_mode<1>, true, "disable loop"},
    {TV_CMD_CONFIG, L::subcmd::al_enable, set_loop_mode<0>, true, "enable loop"},
    {TV_CMD_CONFIG, L::subcmd::set_port_type, set_port_type, true, "set port type"},
    {TV_CMD_CONFIG, L::subcmd::port_type_follow_up, apply_port_config, true, "apply port type"},
    {TV_CMD_CONFIG, L::subcmd::set_mfs_mode, set_mfs_mode, true, "set MFS mode"},
}};

constexpr std::array<std::string_view, 4> keys{"type", "admin", "loop_disabled", "mfs_mode"};

void seed(switch_state& s) { s.get<port_state>().active.assign(s.ports.size(), port_config{}); }

void read_port(const fields& p, switch_state& s, std::size_t i) {
    port_config& cfg = s.get<port_state>().active.at(i);
    if (p.has("type"))
        cfg.type = p.at("type").as_code({{"F", TV_PORT_TYPE_F},
                                         {"FL", TV_PORT_TYPE_FL},
                                         {"T", TV_PORT_TYPE_T},
                                         {"SL", TV_PORT_TYPE_SL},
                                         {"TL", TV_PORT_TYPE_TL}});
    cfg.al_disabled = (cfg.type == TV_PORT_TYPE_F || cfg.type == TV_PORT_TYPE_T) ? 1 : 0;
    if (p.has("admin"))
        cfg.admin = p.at("admin").as_code(
            {{"on", TV_PORT_STATE_ON}, {"off", TV_PORT_STATE_OFF}, {"test", TV_PORT_STATE_TEST}});
    if (p.has("loop_disabled")) cfg.al_disabled = p.at("loop_disabled").as_bool() ? 1 : 0;
    p.number("mfs_mode", cfg.mfs_mode, max_mfs_mode);
}

void save(switch_state& s) { s.get<port_state>().saved = s.get<port_state>().active; }

void reload(switch_state& s) {
    auto& st = s.get<port_state>();
    if (st.saved.size() == st.active.size()) st.active = st.saved;
}

}  // namespace

std::uint8_t operational_state(const fabric& f, std::size_t sw, std::uint8_t port) {
    if (f.switches.at(sw).ports.at(port).failed) return TV_PORT_STATE_FAIL;
    const std::uint8_t admin = config_of(f, sw, port).admin;
    if (admin == TV_PORT_STATE_ON || admin == TV_PORT_STATE_OFF || admin == TV_PORT_STATE_TEST)
        return admin;
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
            return config_of(f, sw, port).al_disabled ? TV_PORT_TYPE_F : TV_PORT_TYPE_FL;
        case TV_PORT_TYPE_SL:
        case TV_PORT_TYPE_TL:
            return wire_code;
        default:
            return std::nullopt;
    }
}

const family_info& port_family::info() {
    static const family_info f{.name = "ports",
                               .handlers = table,
                               .port_keys = keys,
                               .read_port = read_port,
                               .seed = seed,
                               .loaded = save,
                               .on_reset = reload};
    return f;
}

}  // namespace sim
