// Chassis configuration: the parameter block, saving the active configuration, chassis mode and
// type, network settings and the switch reset.
//
// A parameter answer assembles the block from this family's set and the port family's MFS
// modes of the same set (active or saved). A write keeps every byte of the block but the port
// count, which the switch owns; it is refused whole (status 0x02) when E_D_TOV is 0 or above
// R_A_TOV or an MFS mode is above 6. Saving copies the active set of both families to the
// saved one. A reset restarts the switch: it sends no answer, every family reloads its saved
// set, ends its sessions and runs (reset_switch), the chassis comes back online, and the switch
// stays silent for reset_ms. Where logins are required only a logged-in manager may reset
// (others get 0x0E, which nobody waits for).
#include <arpa/inet.h>

#include <algorithm>
#include <array>
#include <chrono>

#include "proto/chassis/layout.h"
#include "proto/netconfig/layout.h"
#include "switchsim/core/fabric_fields.h"
#include "switchsim/core/handlers.h"
#include "switchsim/families/port_family.h"
#include "telvar/utilmsg.h"

namespace sim {

namespace {

namespace w = tv::wire;
namespace L = tv::layout::chassis;
namespace P = L::param;
namespace V = L::value_msg;
namespace N = tv::layout::netconfig;

constexpr std::uint8_t max_mfs_mode = 6;
constexpr std::array<std::size_t, 4> opaque_at{21, 22, 24, 25};

// Ports the per-port arrays of the block cover.
std::size_t block_ports(const switch_state& s) { return std::min(s.ports.size(), P::per_port); }

void put_params(w::bytes m, const switch_state& s, const parameter_set& p,
                const std::vector<port_config>& ports) {
    w::put_u8(m, P::port_count, static_cast<std::uint8_t>(s.ports.size()));
    for (std::size_t i = 0; i < opaque_at.size(); ++i) w::put_u8(m, opaque_at[i], p.opaque[i]);
    w::put_u8(m, P::stage_type, p.stage_type);
    w::put_be16(m, P::mfs_tov, p.mfs_tov);
    w::put_be32(m, P::rt_tov, p.rt_tov);
    w::put_be32(m, P::ra_tov, p.ra_tov);
    w::put_be32(m, P::ed_tov, p.ed_tov);
    w::put_bytes(m, P::setting_a, p.setting_a.data(), p.setting_a.size());
    w::put_bytes(m, P::force_f_port, p.force_f_port.data(), p.force_f_port.size());
    for (std::size_t i = 0; i < block_ports(s) && i < ports.size(); ++i)
        w::put_u8(m, P::mfs_mode + i, ports[i].mfs_mode);
    w::put_bytes(m, P::tail_at, s.get<chassis_state>().tail.data(), P::tail_len);
}

template <bool Saved>
void read_params(request_ctx& c) {
    const auto& ch = c.state<chassis_state>();
    const auto& pc = c.state<port_state>();
    const bool saved_ports = Saved && pc.saved.size() == pc.active.size();
    put_params(c.reply(P::len), c.self(), Saved ? ch.saved : ch.active,
               saved_ports ? pc.saved : pc.active);
}

void write_params(request_ctx& c) {
    c.reply(P::write_ret_len);
    if (c.req.size() != P::len) {
        c.status = status_bad_request;
        return;
    }
    parameter_set p;
    for (std::size_t i = 0; i < opaque_at.size(); ++i) p.opaque[i] = w::get_u8(c.req, opaque_at[i]);
    p.stage_type = w::get_u8(c.req, P::stage_type);
    p.mfs_tov = w::get_be16(c.req, P::mfs_tov);
    p.rt_tov = w::get_be32(c.req, P::rt_tov);
    p.ra_tov = w::get_be32(c.req, P::ra_tov);
    p.ed_tov = w::get_be32(c.req, P::ed_tov);
    w::get_bytes(c.req, P::setting_a, p.setting_a.data(), p.setting_a.size());
    w::get_bytes(c.req, P::force_f_port, p.force_f_port.data(), p.force_f_port.size());
    bool sound = p.ed_tov != 0 && p.ed_tov <= p.ra_tov;
    for (std::size_t i = 0; i < block_ports(c.self()); ++i)
        sound = sound && w::get_u8(c.req, P::mfs_mode + i) <= max_mfs_mode;
    if (!sound) {
        c.status = status_bad_request;
        return;
    }
    c.state<chassis_state>().active = p;
    auto& ports = c.state<port_state>().active;
    for (std::size_t i = 0; i < block_ports(c.self()) && i < ports.size(); ++i)
        ports[i].mfs_mode = w::get_u8(c.req, P::mfs_mode + i);
}

void save_active(request_ctx& c) {
    c.reply(L::bare_subcmd_len);
    auto& ch = c.state<chassis_state>();
    ch.saved = ch.active;
    auto& pc = c.state<port_state>();
    pc.saved = pc.active;
}

void get_mode(request_ctx& c) { w::put_u8(c.reply(V::len), V::value_at, c.state<chassis_state>().mode); }

void set_mode(request_ctx& c) {
    const std::uint8_t mode = w::get_u8(c.req, V::value_at);
    if (mode < L::mode_online || mode > L::mode_test) {
        c.reply(V::len);
        c.status = status_bad_request;
        return;
    }
    c.state<chassis_state>().mode = mode;
    get_mode(c);
}

void get_type(request_ctx& c) {
    const auto& ch = c.state<chassis_state>();
    auto m = c.reply(V::len);
    w::put_u8(m, V::value_at, ch.type);
    w::put_u8(m, V::sl_zoning_at, ch.sl_zoning ? 1 : 0);
}

void set_type(request_ctx& c) {
    c.state<chassis_state>().type = w::get_u8(c.req, V::value_at);
    get_type(c);
}

void get_net(request_ctx& c) {
    const net_settings& n = c.state<chassis_state>().net;
    auto m = c.reply(N::len);
    w::put_be32(m, N::ip_addr, n.ip_addr.value_or(ntohl(c.self().ip)));
    w::put_be32(m, N::ip_mask, n.ip_mask);
    w::put_be32(m, N::ip_broadcast, n.ip_broadcast);
    w::put_be32(m, N::ip_gateway, n.ip_gateway);
    w::put_be32(m, N::ip_auto, n.ip_auto);
    w::put_be32(m, N::arp_timeout, n.arp_timeout);
}

void set_net(request_ctx& c) {
    if (c.req.size() != N::len || w::get_be32(c.req, N::ip_auto) > N::auto_rarp) {
        c.reply(N::len);
        c.status = status_bad_request;
        return;
    }
    net_settings& n = c.state<chassis_state>().net;
    n.ip_addr = w::get_be32(c.req, N::ip_addr);
    n.ip_mask = w::get_be32(c.req, N::ip_mask);
    n.ip_broadcast = w::get_be32(c.req, N::ip_broadcast);
    n.ip_gateway = w::get_be32(c.req, N::ip_gateway);
    n.ip_auto = w::get_be32(c.req, N::ip_auto);
    n.arp_timeout = w::get_be32(c.req, N::arp_timeout);
    get_net(c);
}

void reset(request_ctx& c) {
    c.silent = true;
    switch_state& s = c.self();
    reset_switch(s);
    s.silent_until = std::chrono::steady_clock::now() +
                     std::chrono::milliseconds(s.get<chassis_state>().reset_ms);
}

constexpr std::array<handler_entry, 11> table{{
    {TV_CMD_SWITCH_RESET, 0, reset, true, "switch reset"},
    {TV_CMD_CONFIG, L::subcmd::read_active, read_params<false>, true, "read active parameters"},
    {TV_CMD_CONFIG, L::subcmd::read_saved, read_params<true>, true, "read saved parameters"},
    {TV_CMD_CONFIG, L::subcmd::write_params, write_params, true, "write parameters"},
    {TV_CMD_CONFIG, L::subcmd::save_active, save_active, true, "save active configuration"},
    {TV_CMD_CONFIG, L::subcmd::get_chassis_mode, get_mode, true, "chassis mode"},
    {TV_CMD_CONFIG, L::subcmd::set_chassis_mode, set_mode, true, "set chassis mode"},
    {TV_CMD_CONFIG, L::subcmd::get_chassis_type, get_type, true, "chassis type"},
    {TV_CMD_CONFIG, L::subcmd::set_chassis_type, set_type, true, "set chassis type"},
    {N::cmd_read, 0, get_net, true, "network settings"},
    {N::cmd_write, 0, set_net, true, "set network settings"},
}};

// ---- Fabric-file fields ----

constexpr std::array<std::string_view, 11> keys{
    "ed_tov", "ra_tov", "rt_tov", "mfs_tov", "stage_type", "chassis_mode",
    "chassis_type", "sl_zoning_mode", "network", "reset_time_ms", "param_tail"};
constexpr std::array<std::string_view, 2> port_keys{"force_f_port", "setting_a"};
constexpr std::array<std::string_view, 6> network_keys{"ip_addr",    "ip_mask", "ip_broadcast",
                                                       "ip_gateway", "ip_auto", "arp_timeout"};

std::uint32_t address_of(const fields& f) {
    in_addr a{};
    if (inet_pton(AF_INET, f.as_text(15).c_str(), &a) != 1) f.fail("expected a dotted IPv4 address");
    return ntohl(a.s_addr);
}

void read_network(const fields& j, net_settings& n) {
    j.expect_object(network_keys);
    if (j.has("ip_addr")) n.ip_addr = address_of(j.at("ip_addr"));
    if (j.has("ip_mask")) n.ip_mask = address_of(j.at("ip_mask"));
    if (j.has("ip_broadcast")) n.ip_broadcast = address_of(j.at("ip_broadcast"));
    if (j.has("ip_gateway")) n.ip_gateway = address_of(j.at("ip_gateway"));
    if (j.has("ip_auto"))
        n.ip_auto = j.at("ip_auto").as_code({{"fixed", N::auto_fixed},
                                             {"bootp", N::auto_bootp},
                                             {"rarp", N::auto_rarp}});
    j.number("arp_timeout", n.arp_timeout, 0xFFFFFFFF);
}

void read(const fields& j, switch_state& s) {
    auto& ch = s.get<chassis_state>();
    parameter_set& p = ch.active;
    j.number("ed_tov", p.ed_tov, 0xFFFFFFFF);
    j.number("ra_tov", p.ra_tov, 0xFFFFFFFF);
    j.number("rt_tov", p.rt_tov, 0xFFFFFFFF);
    j.number("mfs_tov", p.mfs_tov, 0xFFFF);
    if (p.ed_tov == 0 || p.ed_tov > p.ra_tov)
        j.fail("ed_tov must be above 0 and at most ra_tov");
    j.number("stage_type", p.stage_type, 0xFF);
    if (j.has("chassis_mode"))
        ch.mode = j.at("chassis_mode").as_code(
            {{"online", L::mode_online}, {"offline", L::mode_offline}, {"test", L::mode_test}});
    j.number("chassis_type", ch.type, 0xFF);
    j.boolean("sl_zoning_mode", ch.sl_zoning);
    if (j.has("network")) read_network(j.at("network"), ch.net);
    j.number("reset_time_ms", ch.reset_ms, 600000);
    j.hex("param_tail", ch.tail);
}

void read_port(const fields& p, switch_state& s, std::size_t i) {
    if (i >= P::per_port) {
        if (p.has("force_f_port") || p.has("setting_a"))
            p.fail("the parameter block has per-port settings for the first 16 ports only");
        return;
    }
    auto& set = s.get<chassis_state>().active;
    if (p.has("force_f_port")) set.force_f_port[i] = p.at("force_f_port").as_bool() ? 1 : 0;
    p.number("setting_a", set.setting_a[i], 0xFF);
}

// Bytes the switch keeps without meaning, seeded so that a write that does not send them back
// as read is seen.
void seed(switch_state& s) {
    auto& ch = s.get<chassis_state>();
    for (std::size_t i = 0; i < ch.tail.size(); ++i)
        ch.tail[i] = static_cast<std::uint8_t>(0xA0 + i) ^ s.chassis;
    ch.active.opaque = {0x11, 0x22, 0x44, 0x88};
    for (std::size_t i = 0; i < P::per_port; ++i)
        ch.active.setting_a[i] = static_cast<std::uint8_t>(0x40 + i);
}

void save(switch_state& s) { s.get<chassis_state>().saved = s.get<chassis_state>().active; }

void reload(switch_state& s) {
    auto& ch = s.get<chassis_state>();
    ch.active = ch.saved;
    ch.mode = L::mode_online;
}

}  // namespace

const family_info& chassis_family::info() {
    static const family_info f{.name = "chassis",
                               .handlers = table,
                               .switch_keys = keys,
                               .read_switch = read,
                               .port_keys = port_keys,
                               .read_port = read_port,
                               .seed = seed,
                               .loaded = save,
                               .on_reset = reload};
    return f;
}

}  // namespace sim
