// Zoning: blocks of 16 bitmap zones (hard, name-server, broadcast), SL zone ids per port, the
// WWN zone table in pages of 8 entries, save and reset, and the name-server zoning type.
//
// What a block answer says beyond the zones themselves is this switch's choice:
//  - P (byte 25), the ports each bitmap covers, is the port count rounded up to whole bytes;
//  - byte 27 counts the zones of the table up to the highest one in use (with members or
//    enabled), at most 255, so that a manager that walks the blocks it announces reaches every
//    zone in use;
//  - a saved-variant read answers from the saved set.
// A write that names a port the switch does not have, a block start that is not a multiple of
// 16 inside the table, or an unknown reset mode is refused whole (status 0x02).
#include <algorithm>
#include <array>
#include <span>

#include "proto/zoning/layout.h"
#include "switchsim/core/fabric_fields.h"
#include "switchsim/core/handlers.h"
#include "telvar/utilmsg.h"

namespace sim {

namespace {

namespace w = tv::wire;
namespace Z = tv::layout::zoning;
namespace B = Z::block;
namespace S = Z::sl_msg;
namespace W = Z::wwn;
namespace T = Z::ns_type;

constexpr std::size_t simple_len = 24;  // the answer to a bare sub-command

enum class set_kind { active, saved };

zone_tables& tables(request_ctx& c, set_kind k) {
    auto& st = c.state<zoning_state>();
    return k == set_kind::saved ? st.saved : st.active;
}

template <std::uint32_t Type>
std::span<bitmap_zone> table_of(zone_tables& t) {
    if constexpr (Type == Z::hard) return t.hard;
    if constexpr (Type == Z::name_server) return t.name_server;
    if constexpr (Type == Z::broadcast) return t.broadcast;
}

std::uint64_t port_bits(std::size_t ports) {
    return ports >= 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << ports) - 1;
}

std::uint8_t zones_in_use(std::span<const bitmap_zone> zones) {
    std::size_t n = 0;
    for (std::size_t i = 0; i < zones.size(); ++i)
        if (zones[i].members != 0 || zones[i].enabled) n = i + 1;
    return static_cast<std::uint8_t>(std::min<std::size_t>(n, 255));
}

// The block start of a request, when it names a block of the table.
bool block_start(request_ctx& c, std::size_t table_size, std::size_t& start) {
    start = w::get_u8(c.req, B::start_at);
    if (start % B::zones == 0 && start < table_size) return true;
    c.status = status_bad_request;
    return false;
}

void put_block(w::bytes m, std::span<const bitmap_zone> zones, std::size_t start, std::size_t ports) {
    std::uint32_t mask = 0;
    for (std::uint32_t z = 0; z < B::zones; ++z) {
        const bitmap_zone& zone = zones[start + z];
        if (zone.enabled) mask |= 1u << z;
        for (std::size_t k = 0; k < B::bitmap_len; ++k)
            w::put_u8(m, B::bitmap_at(z) + k, static_cast<std::uint8_t>(zone.members >> (8 * k)));
    }
    w::put_be32(m, B::mask_at, mask);
    w::put_u8(m, B::ports_at, static_cast<std::uint8_t>((ports + 7) / 8 * 8));
    w::put_u8(m, B::start_at, static_cast<std::uint8_t>(start));
    w::put_u8(m, B::count_at, zones_in_use(zones));
}

template <std::uint32_t Type, set_kind Kind>
void read_block(request_ctx& c) {
    const auto zones = table_of<Type>(tables(c, Kind));
    auto m = c.reply(B::len);
    std::size_t start = 0;
    if (block_start(c, zones.size(), start)) put_block(m, zones, start, c.self().ports.size());
}

template <std::uint32_t Type>
void write_block(request_ctx& c) {
    const auto zones = table_of<Type>(tables(c, set_kind::active));
    auto m = c.reply(B::len);
    std::size_t start = 0;
    if (!block_start(c, zones.size(), start)) return;
    const std::uint64_t valid = port_bits(c.self().ports.size());
    std::array<std::uint64_t, B::zones> members{};
    for (std::uint32_t z = 0; z < B::zones; ++z) {
        for (std::size_t k = 0; k < B::bitmap_len; ++k)
            members[z] |= std::uint64_t{w::get_u8(c.req, B::bitmap_at(z) + k)} << (8 * k);
        if ((members[z] & ~valid) != 0) {
            c.status = status_bad_request;
            return;
        }
    }
    const std::uint32_t mask = w::get_be32(c.req, B::mask_at);
    for (std::uint32_t z = 0; z < B::zones; ++z)
        zones[start + z] = {members[z], ((mask >> z) & 1) != 0};
    put_block(m, zones, start, c.self().ports.size());
}

template <std::uint32_t Type>
void save_block_table(request_ctx& c) {
    c.reply(simple_len);
    std::ranges::copy(table_of<Type>(tables(c, set_kind::active)),
                      table_of<Type>(tables(c, set_kind::saved)).begin());
}

template <set_kind Kind>
void read_sl(request_ctx& c) {
    const auto& ids = tables(c, Kind).sl;
    auto m = c.reply(S::read_len);
    w::put_u8(m, S::count_at, static_cast<std::uint8_t>(ids.size()));
    for (std::size_t i = 0; i < ids.size(); ++i) w::put_be16(m, S::read_ids_at + 2 * i, ids[i]);
}

void write_sl(request_ctx& c) {
    auto& ids = tables(c, set_kind::active).sl;
    auto m = c.reply(S::write_len);
    for (std::size_t i = 0; i < ids.size(); ++i) {
        ids[i] = w::get_be16(c.req, S::write_ids_at + 2 * i);
        w::put_be16(m, S::write_ids_at + 2 * i, ids[i]);
    }
}

void save_sl(request_ctx& c) {
    c.reply(simple_len);
    tables(c, set_kind::saved).sl = tables(c, set_kind::active).sl;
}

void put_wwn_entry(w::bytes m, std::size_t at, const wwn_zone_entry& e) {
    w::put_bytes(m, at, e.wwn.data(), e.wwn.size());
    for (std::size_t k = 0; k < e.zones.size(); ++k) w::put_be32(m, at + W::entry_bits_at + 4 * k, e.zones[k]);
}

void read_wwn_page(request_ctx& c) {
    const auto& table = tables(c, set_kind::active).wwn;
    auto m = c.reply(W::page_len);
    const std::uint32_t first = w::get_be32(c.req, W::first_at);
    w::put_be32(m, W::first_at, first);
    w::put_be32(m, W::total_at, static_cast<std::uint32_t>(table.size()));
    for (std::uint32_t i = 0; i < W::page_entries && std::size_t{first} + i < table.size(); ++i)
        put_wwn_entry(m, W::entry_at(i), table[first + i]);
}

// Each entry of the write replaces the zones of its WWN; a WWN left in no zone leaves the table.
void write_wwn_entries(request_ctx& c) {
    auto& table = tables(c, set_kind::active).wwn;
    auto m = c.reply(W::page_len);
    const std::uint32_t count = w::get_be32(c.req, W::total_at);
    if (count > W::page_entries) {
        c.status = status_bad_request;
        return;
    }
    for (std::uint32_t i = 0; i < count; ++i) {
        wwn_zone_entry e;
        w::get_bytes(c.req, W::entry_at(i), e.wwn.data(), e.wwn.size());
        for (std::size_t k = 0; k < e.zones.size(); ++k)
            e.zones[k] = w::get_be32(c.req, W::entry_at(i) + W::entry_bits_at + 4 * k);
        const auto it = std::ranges::find(table, e.wwn, &wwn_zone_entry::wwn);
        const bool in_no_zone = std::ranges::all_of(e.zones, [](std::uint32_t v) { return v == 0; });
        if (it == table.end()) {
            if (!in_no_zone) table.push_back(e);
        } else if (in_no_zone) {
            table.erase(it);
        } else {
            it->zones = e.zones;
        }
        put_wwn_entry(m, W::entry_at(i), e);
    }
    w::put_be32(m, W::total_at, count);
}

void save_wwn(request_ctx& c) {
    c.reply(simple_len);
    tables(c, set_kind::saved).wwn = tables(c, set_kind::active).wwn;
}

// Mode 0 reloads the saved table; 1 empties the active one; 2 empties both.
void reset_wwn(request_ctx& c) {
    auto m = c.reply(W::reset_len);
    const std::uint8_t mode = w::get_u8(c.req, W::reset_mode_at);
    auto& active = tables(c, set_kind::active).wwn;
    auto& saved = tables(c, set_kind::saved).wwn;
    switch (mode) {
        case 0: active = saved; break;
        case 1: active.clear(); break;
        case 2: active.clear(); saved.clear(); break;
        default: c.status = status_bad_request; return;
    }
    w::put_u8(m, W::reset_mode_at, mode);
}

void get_ns_type(request_ctx& c) {
    auto m = c.reply(T::len);
    w::put_u8(m, T::value_at, c.state<zoning_state>().ns_zoning_type);
}

void set_ns_type(request_ctx& c) {
    auto m = c.reply(T::len);
    const std::uint8_t type = w::get_u8(c.req, T::value_at);
    if (type != T::by_port && type != T::by_wwn) {
        c.status = status_bad_request;
        return;
    }
    c.state<zoning_state>().ns_zoning_type = type;
    w::put_u8(m, T::value_at, type);
}

namespace sc = Z::subcmd;
constexpr std::array<handler_entry, 22> table{{
    {TV_CMD_CONFIG, sc::read_hard, read_block<Z::hard, set_kind::active>, true, "read hard zones"},
    {TV_CMD_CONFIG, sc::read_saved_hard, read_block<Z::hard, set_kind::saved>, true, "read saved hard zones"},
    {TV_CMD_CONFIG, sc::write_hard, write_block<Z::hard>, true, "write hard zones"},
    {TV_CMD_CONFIG, sc::save_hard, save_block_table<Z::hard>, true, "save hard zones"},
    {TV_CMD_CONFIG, sc::read_ns, read_block<Z::name_server, set_kind::active>, true, "read ns zones"},
    {TV_CMD_CONFIG, sc::read_saved_ns, read_block<Z::name_server, set_kind::saved>, true, "read saved ns zones"},
    {TV_CMD_CONFIG, sc::write_ns, write_block<Z::name_server>, true, "write ns zones"},
    {TV_CMD_CONFIG, sc::save_ns, save_block_table<Z::name_server>, true, "save ns zones"},
    {TV_CMD_CONFIG, sc::read_bcst, read_block<Z::broadcast, set_kind::active>, true, "read broadcast zones"},
    {TV_CMD_CONFIG, sc::read_saved_bcst, read_block<Z::broadcast, set_kind::saved>, true, "read saved broadcast zones"},
    {TV_CMD_CONFIG, sc::write_bcst, write_block<Z::broadcast>, true, "write broadcast zones"},
    {TV_CMD_CONFIG, sc::save_bcst, save_block_table<Z::broadcast>, true, "save broadcast zones"},
    {TV_CMD_CONFIG, sc::read_sl, read_sl<set_kind::active>, true, "read SL zones"},
    {TV_CMD_CONFIG, sc::read_saved_sl, read_sl<set_kind::saved>, true, "read saved SL zones"},
    {TV_CMD_CONFIG, sc::write_sl, write_sl, true, "write SL zones"},
    {TV_CMD_CONFIG, sc::save_sl, save_sl, true, "save SL zones"},
    {TV_CMD_CONFIG, sc::read_wwn_page, read_wwn_page, true, "read WWN zones"},
    {TV_CMD_CONFIG, sc::write_wwn_entry, write_wwn_entries, true, "write WWN zone"},
    {TV_CMD_CONFIG, sc::save_wwn, save_wwn, true, "save WWN zones"},
    {TV_CMD_CONFIG, sc::reset_wwn, reset_wwn, true, "reset WWN zones"},
    {TV_CMD_CONFIG, sc::get_ns_zoning_type, get_ns_type, true, "get ns zoning type"},
    {TV_CMD_CONFIG, sc::set_ns_zoning_type, set_ns_type, true, "set ns zoning type"},
}};

constexpr std::array<std::string_view, 5> keys{"hard_zones", "ns_zones", "broadcast_zones",
                                               "wwn_zones", "ns_zoning_type"};
constexpr std::array<std::string_view, 1> port_keys{"sl_zone"};

// A list of {"id", "enabled", "ports"} with ports counted from 1, as the tool prints them.
void read_zones(const fields& sw, std::string_view key, std::span<bitmap_zone> zones, std::size_t ports) {
    if (!sw.has(key)) return;
    std::vector<bool> listed(zones.size());
    sw.at(key).each([&](const fields& z, std::size_t) {
        static constexpr std::array<std::string_view, 3> zone_keys{"id", "enabled", "ports"};
        z.expect_object(zone_keys);
        const auto id = z.at("id").as_number(zones.size() - 1);
        if (listed[id]) z.at("id").fail("zone " + std::to_string(id) + " is listed twice");
        listed[id] = true;
        bitmap_zone& zone = zones[id];
        zone.enabled = true;
        z.boolean("enabled", zone.enabled);
        if (!z.has("ports")) return;
        z.at("ports").each([&](const fields& p, std::size_t) {
            const auto port = p.as_number(ports);
            if (port == 0) p.fail("ports are counted from 1");
            zone.members |= std::uint64_t{1} << (port - 1);
        });
    });
}

void read_wwn_zones(const fields& sw, std::vector<wwn_zone_entry>& entries) {
    if (!sw.has("wwn_zones")) return;
    sw.at("wwn_zones").each([&](const fields& e, std::size_t) {
        static constexpr std::array<std::string_view, 2> entry_keys{"wwn", "zones"};
        e.expect_object(entry_keys);
        wwn_zone_entry entry;
        e.at("wwn").as_hex(entry.wwn);
        if (std::ranges::find(entries, entry.wwn, &wwn_zone_entry::wwn) != entries.end())
            e.at("wwn").fail("the WWN is listed twice");
        e.at("zones").each([&](const fields& z, std::size_t) {
            const auto id = z.as_number(W::zones - 1);
            entry.zones[id >> 5] |= 1u << (id & 31);
        });
        if (std::ranges::all_of(entry.zones, [](std::uint32_t v) { return v == 0; }))
            e.at("zones").fail("a WWN belongs to at least one zone");
        entries.push_back(entry);
    });
}

void read(const fields& sw, switch_state& s) {
    auto& st = s.get<zoning_state>();
    read_zones(sw, "hard_zones", st.active.hard, s.ports.size());
    read_zones(sw, "ns_zones", st.active.name_server, s.ports.size());
    read_zones(sw, "broadcast_zones", st.active.broadcast, s.ports.size());
    read_wwn_zones(sw, st.active.wwn);
    if (sw.has("ns_zoning_type"))
        st.ns_zoning_type = sw.at("ns_zoning_type").as_code({{"port", T::by_port}, {"wwn", T::by_wwn}});
}

void read_port(const fields& p, switch_state& s, std::size_t i) {
    p.number("sl_zone", s.get<zoning_state>().active.sl.at(i), Z::max_sl_zone_id);
}

void seed(switch_state& s) { s.get<zoning_state>().active.sl.assign(s.ports.size(), 0); }

void save(switch_state& s) { s.get<zoning_state>().saved = s.get<zoning_state>().active; }

void reload(switch_state& s) { s.get<zoning_state>().active = s.get<zoning_state>().saved; }

}  // namespace

const family_info& zoning_family::info() {
    static const family_info f{.name = "zoning",
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
