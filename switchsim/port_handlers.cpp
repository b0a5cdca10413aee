// Port configuration: port types, loop mode, MFS mode and administrative state.
//
// The port-state answer packs seven per-port arrays back to back with a stride of the port
// count: admin state, an array the switch keeps for itself (the saved admin state here),
// operational state, type, logged-in flag, loop-disabled flag and MFS mode.
#include <array>

#include "handlers.h"
#include "utconfig.h"
#include "utilmsg.h"

namespace sim {

namespace {

namespace w = tv::wire;

constexpr std::uint8_t max_mfs_mode = 6;

void port_types(request_ctx& c) {
    const auto& s = c.self();
    auto m = c.reply(52);
    w::put_u8(m, 20, static_cast<std::uint8_t>(s.ports.size()));
    for (std::size_t i = 0; i < s.ports.size(); ++i) w::put_u8(m, 24 + i, s.ports[i].cfg.type);
}

void port_state(request_ctx& c) {
    const auto& s = c.self();
    const std::size_t n = s.ports.size();
    auto m = c.reply(196);
    w::put_u8(m, 20, static_cast<std::uint8_t>(n));
    for (std::size_t i = 0; i < n; ++i) {
        const auto& p = s.ports[i];
        const auto port = static_cast<std::uint8_t>(i);
        w::put_u8(m, 24 + i, p.cfg.admin);
        w::put_u8(m, 24 + n + i, i < s.saved_ports.size() ? s.saved_ports[i].admin : 0);
        w::put_u8(m, 24 + 2 * n + i, operational_state(c.fab, c.sw, port));
        w::put_u8(m, 24 + 3 * n + i, p.cfg.type);
        w::put_u8(m, 24 + 4 * n + i, logged_in(c.fab, c.sw, port) ? 1 : 0);
        w::put_u8(m, 24 + 5 * n + i, p.cfg.al_disabled);
        w::put_u8(m, 24 + 6 * n + i, p.cfg.mfs_mode);
    }
}

void set_port_state(request_ctx& c) {
    auto& s = c.self();
    c.reply(44);
    const std::size_t n = std::min<std::size_t>(w::get_u8(c.req, 20), s.ports.size());
    // Only on, off and test can be asked for; refuse the whole vector otherwise.
    for (std::size_t i = 0; i < n; ++i)
        if (w::get_u8(c.req, 24 + i) > TV_PORT_STATE_TEST) {
            c.status = status_bad_request;
            return;
        }
    for (std::size_t i = 0; i < n; ++i) s.ports[i].cfg.admin = w::get_u8(c.req, 24 + i);
}

template <std::uint8_t Disabled>
void set_loop_mode(request_ctx& c) {
    c.reply(24);
    const std::size_t port = w::get_u8(c.req, 20);
    if (!c.valid_port(port)) {
        c.status = status_bad_request;
        return;
    }
    c.self().ports[port].cfg.al_disabled = Disabled;
}

void set_port_type(request_ctx& c) {
    c.reply(24);
    const std::uint8_t port = w::get_u8(c.req, 20);
    const auto type = c.valid_port(port)
                          ? type_for_wire_code(c.fab, c.sw, port, w::get_u8(c.req, 21))
                          : std::nullopt;
    if (!type) {
        c.status = status_bad_request;
        return;
    }
    c.self().ports[port].cfg.type = *type;
}

// Sent after a port type when asked for; the new type is already in force here.
void apply_port_config(request_ctx& c) { c.reply(24); }

void set_mfs_mode(request_ctx& c) {
    c.reply(28);
    const std::size_t port = w::get_u8(c.req, 20);
    const std::uint8_t mode = w::get_u8(c.req, 21);
    if (!c.valid_port(port) || mode > max_mfs_mode) {
        c.status = status_bad_request;
        return;
    }
    c.self().ports[port].cfg.mfs_mode = mode;
}

constexpr std::array<handler_entry, 8> table{{
    {TV_CMD_CONFIG, 0x64, port_types, true, "port types"},
    {TV_CMD_CONFIG, 0x50, port_state, true, "port state"},
    {TV_CMD_CONFIG, 0x52, set_port_state, true, "set port state"},
    {TV_CMD_CONFIG, 0x5C, set_loop_mode<1>, true, "disable loop"},
    {TV_CMD_CONFIG, 0x5D, set_loop_mode<0>, true, "enable loop"},
    {TV_CMD_CONFIG, 0x63, set_port_type, true, "set port type"},
    {TV_CMD_CONFIG, 0x66, apply_port_config, true, "apply port type"},
    {TV_CMD_CONFIG, 0x5E, set_mfs_mode, true, "set MFS mode"},
}};

}  // namespace

std::span<const handler_entry> port_handlers() { return table; }

}  // namespace sim
