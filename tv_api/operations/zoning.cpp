// Port zoning: hard, name-server and broadcast zones (port bitmaps exchanged in blocks of 16
// zones), SL zones (one zone id per port), enabling and disabling every zone of a type, and the
// name-server zoning type.
//
// The block and SL messages live in module buffers because the operations build on what the
// last answer left there: a write is the last block answer with one zone changed, and
// tv_extract_zone, tv_extract_sl_zone and tv_get_zone_list read the last answer. Every count
// those answers carry goes through the bounded readers of zoning_decode.h. Zone ids beyond a
// type's table and ports beyond a message's room are refused before anything is sent.
#include <algorithm>
#include <array>
#include <cstdlib>
#include <memory>
#include <optional>

#include "proto/zoning/decode.h"
#include "tv_api/alloc.h"
#include "tv_api/tv_inter.h"

namespace {

namespace Z = tv::layout::zoning;
namespace B = Z::block;
namespace S = Z::sl_msg;
namespace T = Z::ns_type;
namespace w = tv::wire;

thread_local std::array<std::uint8_t, B::len> m_zone_port_stat_req;
thread_local std::array<std::uint8_t, B::len> m_zone_port_stat_ret;
thread_local std::array<std::uint8_t, S::read_len> m_get_sl_zone_req;
thread_local std::array<std::uint8_t, S::write_len> m_set_sl_zone_req;
thread_local std::array<std::uint8_t, T::len> m_get_type_ns_zoning;
thread_local std::array<std::uint8_t, T::len> m_set_type_ns_zoning;

struct keyed_subcmd {
    std::uint32_t key;
    std::uint32_t subcmd;
};
constexpr std::array<keyed_subcmd, 16> subcmds{{
    {Z::hard, Z::subcmd::read_hard},
    {Z::name_server, Z::subcmd::read_ns},
    {Z::broadcast, Z::subcmd::read_bcst},
    {Z::sl, Z::subcmd::read_sl},
    {Z::hard + Z::key_saved, Z::subcmd::read_saved_hard},
    {Z::name_server + Z::key_saved, Z::subcmd::read_saved_ns},
    {Z::broadcast + Z::key_saved, Z::subcmd::read_saved_bcst},
    {Z::sl + Z::key_saved, Z::subcmd::read_saved_sl},
    {Z::hard + Z::key_write, Z::subcmd::write_hard},
    {Z::name_server + Z::key_write, Z::subcmd::write_ns},
    {Z::broadcast + Z::key_write, Z::subcmd::write_bcst},
    {Z::sl + Z::key_write, Z::subcmd::write_sl},
    {Z::hard + Z::key_save, Z::subcmd::save_hard},
    {Z::name_server + Z::key_save, Z::subcmd::save_ns},
    {Z::broadcast + Z::key_save, Z::subcmd::save_bcst},
    {Z::sl + Z::key_save, Z::subcmd::save_sl},
}};

std::optional<std::uint32_t> subcmd_of_key(std::uint32_t key) {
    const auto it = std::ranges::find(subcmds, key, &keyed_subcmd::key);
    if (it != subcmds.end()) return it->subcmd;
    log_error("zone type: %d not supported\n", static_cast<int>(key));
    return std::nullopt;
}

// The sub-command of a zone type for a key offset (0 read, key_saved, key_write, key_save);
// a type outside 1 to 4 is logged as unsupported, like an unknown key.
std::optional<std::uint32_t> zone_subcmd(std::uint32_t type, std::uint32_t offset) {
    if (type < Z::hard || type > Z::sl) {
        log_error("zone type: %d not supported\n", static_cast<int>(type + offset));
        return std::nullopt;
    }
    return subcmd_of_key(type + offset);
}

// Zones of the table of a bitmap zone type.
std::uint32_t table_zones(std::uint32_t type) {
    switch (type) {
        case Z::hard: return Z::hard_zones;
        case Z::name_server: return Z::name_server_zones;
        case Z::broadcast: return Z::broadcast_zones;
        default: return 0;
    }
}

std::span<const std::uint32_t> members(const tv_port_zone& zone) {
    if (zone.ports == nullptr) return {};
    return {zone.ports, zone.count};
}

// The member list of a record to be written: present when it has members, and every member
// below `limit`.
bool members_below(const tv_port_zone& zone, std::uint32_t limit) {
    if (zone.count != 0 && zone.ports == nullptr) return false;
    return std::ranges::all_of(members(zone), [&](std::uint32_t p) { return p < limit; });
}

void free_zone(tv_port_zone* zone) {
    if (zone == nullptr) return;
    std::free(zone->ports);
    std::free(zone);
}

struct zone_deleter {
    void operator()(tv_port_zone* z) const { std::free(z); }
};

// Fills a zone record, or a new one with `id` when `zone` is null: `enabled`, and a ports array
// of `room` entries that `fill` fills and counts. Null with 12 when an allocation fails; a
// record the caller supplied is never released.
template <class Fill>
tv_port_zone* fill_zone(tv_port_zone* zone, std::uint32_t id, bool enabled, std::uint32_t room,
                        Fill&& fill, int32_t& status) {
    std::unique_ptr<tv_port_zone, zone_deleter> fresh;
    if (zone == nullptr) {
        fresh.reset(static_cast<tv_port_zone*>(tv::alloc_zeroed(1, sizeof(tv_port_zone))));
        if (!fresh) {
            status = TV_ERR_NOMEM;
            return nullptr;
        }
        fresh->id = id;
        zone = fresh.get();
    }
    auto* ports = static_cast<std::uint32_t*>(tv::alloc_zeroed(std::max<std::uint32_t>(room, 1), sizeof(std::uint32_t)));
    if (ports == nullptr) {
        status = TV_ERR_NOMEM;
        return nullptr;
    }
    zone->enabled = enabled ? 1 : 0;
    zone->ports = ports;
    zone->count = fill(std::span<std::uint32_t>{ports, room});
    fresh.release();
    status = TV_OK;
    return zone;
}

// The zones of a set while it is being built: released on every early return, handed to the
// caller's record once complete.
class zone_array {
public:
    zone_array() = default;
    zone_array(const zone_array&) = delete;
    zone_array& operator=(const zone_array&) = delete;
    ~zone_array() {
        if (zones_ == nullptr) return;
        for (std::uint32_t i = 0; i < count_; ++i) free_zone(zones_[i]);
        std::free(zones_);
    }
    bool allocate(std::uint32_t n) {
        zones_ = static_cast<tv_port_zone**>(tv::alloc_zeroed(std::max<std::uint32_t>(n, 1), sizeof(tv_port_zone*)));
        count_ = zones_ != nullptr ? n : 0;
        return zones_ != nullptr;
    }
    tv_port_zone*& operator[](std::uint32_t i) { return zones_[i]; }
    void hand_to(tv_port_zone_set& set) {
        set.count = count_;
        set.zones = zones_;
        zones_ = nullptr;
        count_ = 0;
    }

private:
    tv_port_zone** zones_ = nullptr;
    std::uint32_t count_ = 0;
};

// ---- Bitmap zones ----

int32_t port_zone_cmd(tv_context* ctx, std::uint32_t subcmd, std::uint32_t start) {
    // The request is never cleared: a write is the last answer with one zone changed.
    tv::write_header(ctx, m_zone_port_stat_req, TV_CMD_CONFIG, B::len);
    w::put_be32(m_zone_port_stat_req, tv::off::subcmd, subcmd);
    w::put_u8(m_zone_port_stat_req, B::start_at, static_cast<std::uint8_t>(start));
    return tv::exchange(ctx, m_zone_port_stat_req, m_zone_port_stat_ret).status;
}

tv_port_zone* extract_zone(tv_port_zone* zone, std::uint32_t z, int32_t& status) {
    if (z >= B::zones) {
        status = TV_ERR_ARG;
        return nullptr;
    }
    const w::cbytes block = m_zone_port_stat_ret;
    return fill_zone(
        zone, z, tv::zone_enabled(block, z), tv::zone_block_ports(block),
        [&](std::span<std::uint32_t> out) { return tv::decode_zone_members(block, z, out); }, status);
}

int32_t get_sl_zone(tv_context* ctx, tv_port_zone* zone, int32_t saved);
int32_t get_sl_zone_set(tv_context* ctx, tv_port_zone_set* set, int32_t saved);
int32_t set_sl_zone(tv_context* ctx, tv_port_zone* zone, int32_t save);

int32_t get_port_zone(tv_context* ctx, tv_port_zone* zone, int32_t saved) {
    if (zone == nullptr) return TV_OK;
    if (zone->type == Z::sl) return get_sl_zone(ctx, zone, saved);
    const auto read = zone_subcmd(zone->type, saved ? Z::key_saved : 0);
    if (!read) return TV_ERR_ARG;
    if (zone->id >= table_zones(zone->type)) return TV_ERR_PARAM;
    if (const int32_t code = port_zone_cmd(ctx, *read, zone->id & ~0xFu); code != TV_OK) return code;
    int32_t status = TV_OK;
    extract_zone(zone, zone->id & 0xF, status);
    return status;
}

int32_t get_port_zone_set(tv_context* ctx, tv_port_zone_set* set, int32_t saved) {
    if (set == nullptr) return TV_OK;
    if (set->type == Z::sl) return get_sl_zone_set(ctx, set, saved);
    const auto read = zone_subcmd(set->type, saved ? Z::key_saved : 0);
    if (!read) return TV_ERR_ARG;
    zone_array zones;
    std::uint32_t count = 0;  // fixed by the first block
    for (std::uint32_t start = 0; start == 0 || start < count; start += B::zones) {
        if (const int32_t code = port_zone_cmd(ctx, *read, start); code != TV_OK) return code;
        if (start == 0) {
            count = tv::decode_zone_count(m_zone_port_stat_ret, set->type);
            if (!zones.allocate(count)) return TV_ERR_NOMEM;
        }
        for (std::uint32_t z = 0; z < std::min(count - start, B::zones); ++z) {
            int32_t status = TV_OK;
            tv_port_zone* zone = extract_zone(nullptr, z, status);
            if (zone == nullptr) return status;
            zone->id = start + z;
            zone->type = set->type;
            zones[start + z] = zone;
        }
    }
    zones.hand_to(*set);
    return TV_OK;
}

int32_t set_port_zone(tv_context* ctx, tv_port_zone* zone, int32_t save) {
    if (zone == nullptr) return TV_ERR_PARAM;
    if (zone->type == Z::sl) return set_sl_zone(ctx, zone, save);
    const auto read = zone_subcmd(zone->type, 0);
    if (!read) return TV_ERR_ARG;
    if (zone->id >= table_zones(zone->type) || !members_below(*zone, B::bitmap_ports))
        return TV_ERR_PARAM;
    const std::uint32_t start = zone->id & ~0xFu;
    if (const int32_t code = port_zone_cmd(ctx, *read, start); code != TV_OK) return code;
    m_zone_port_stat_req = m_zone_port_stat_ret;
    // Ports the switch's bitmaps do not cover would be written where no read shows them.
    if (!tv::encode_zone(m_zone_port_stat_req, zone->id & 0xF, zone->enabled != 0, members(*zone)))
        return TV_ERR_PARAM;
    if (const int32_t code = port_zone_cmd(ctx, *zone_subcmd(zone->type, Z::key_write), start);
        code != TV_OK)
        return code;
    return save ? tv::simple_config_cmd(ctx, *zone_subcmd(zone->type, Z::key_save)) : TV_OK;
}

int32_t change_zoning(tv_context* ctx, std::uint32_t type, int32_t save, std::uint32_t mask) {
    if (type == Z::sl) return TV_ERR_ARG;
    const auto read = zone_subcmd(type, 0);
    if (!read) return TV_ERR_ARG;
    std::uint32_t count = 0;  // fixed by the first block
    for (std::uint32_t start = 0; start == 0 || start < count; start += B::zones) {
        log_info("get current zone settings\n");
        if (const int32_t code = port_zone_cmd(ctx, *read, start); code != TV_OK) return code;
        if (start == 0)
            count = type == Z::name_server ? w::get_u8(m_zone_port_stat_ret, B::count_at) : B::zones;
        m_zone_port_stat_req = m_zone_port_stat_ret;
        w::put_be32(m_zone_port_stat_req, B::mask_at, mask);
        log_info("set active zone settings\n");
        if (const int32_t code = port_zone_cmd(ctx, *zone_subcmd(type, Z::key_write), start);
            code != TV_OK)
            return code;
    }
    if (!save) return TV_OK;
    log_info("save current zone settings\n");
    return tv::simple_config_cmd(ctx, *zone_subcmd(type, Z::key_save));
}

// ---- SL zones ----

// The port count of the last SL read; 0 when it was more than the message has room for.
std::uint32_t sl_ports() { return tv::decode_sl_port_count(m_get_sl_zone_req).value_or(0); }

int32_t get_sl_zone_cmd(tv_context* ctx, std::uint32_t subcmd) {
    // Neither SL buffer is cleared between uses; the header goes before the port-count query.
    tv::write_header(ctx, m_get_sl_zone_req, TV_CMD_CONFIG, S::read_len);
    int32_t ports = -1;
    tv::get_num_of_ports(ctx, ports);
    w::put_u8(m_get_sl_zone_req, S::count_at, static_cast<std::uint8_t>(ports));
    w::put_be32(m_get_sl_zone_req, tv::off::subcmd, subcmd);
    const tv::exchanged x = tv::exchange_in_place(ctx, m_get_sl_zone_req, S::read_len);
    if (!x.ok()) return x.status;
    return tv::decode_sl_port_count(m_get_sl_zone_req) ? TV_OK : TV_ERR_SWITCH;
}

int32_t set_sl_zone_cmd(tv_context* ctx, std::uint32_t subcmd) {
    tv::write_header(ctx, m_set_sl_zone_req, TV_CMD_CONFIG, S::write_len);
    w::put_be32(m_set_sl_zone_req, tv::off::subcmd, subcmd);
    return tv::exchange_in_place(ctx, m_set_sl_zone_req, S::write_len).status;
}

tv_port_zone* extract_sl_zone(tv_port_zone* zone, std::uint32_t id, int32_t& status) {
    const std::uint32_t n = sl_ports();
    return fill_zone(
        zone, id, true, n,
        [&](std::span<std::uint32_t> out) {
            if (id > Z::max_sl_zone_id) return std::uint32_t{0};
            return tv::decode_sl_zone_members(m_get_sl_zone_req, n, static_cast<std::uint16_t>(id), out);
        },
        status);
}

// The sub-command of an SL operation; the SL functions serve SL records only.
std::optional<std::uint32_t> sl_subcmd(std::uint32_t type, std::uint32_t offset) {
    if (type != Z::sl) return std::nullopt;
    return zone_subcmd(type, offset);
}

int32_t get_sl_zone(tv_context* ctx, tv_port_zone* zone, int32_t saved) {
    if (zone == nullptr) return TV_ERR_ARG;
    const auto read = sl_subcmd(zone->type, saved ? Z::key_saved : 0);
    if (!read) return TV_ERR_ARG;
    if (zone->id > Z::max_sl_zone_id) return TV_ERR_PARAM;
    if (const int32_t code = get_sl_zone_cmd(ctx, *read); code != TV_OK) return code;
    int32_t status = TV_OK;
    extract_sl_zone(zone, zone->id, status);
    return status;
}

int32_t get_sl_zone_set(tv_context* ctx, tv_port_zone_set* set, int32_t saved) {
    if (set == nullptr) return TV_ERR_ARG;
    const auto read = sl_subcmd(set->type, saved ? Z::key_saved : 0);
    if (!read) return TV_ERR_ARG;
    tv_port_types types{};
    if (const int32_t code = tv::get_port_types(ctx, types); code != TV_OK) return code;
    const std::unique_ptr<std::uint8_t, decltype(&std::free)> release_types(types.types, &std::free);
    if (const int32_t code = get_sl_zone_cmd(ctx, *read); code != TV_OK) return code;

    const std::uint32_t n = sl_ports();
    for (std::uint32_t i = 0; i < n; ++i)
        if (i >= types.count || types.types[i] != TV_PORT_TYPE_SL)
            w::put_be16(m_get_sl_zone_req, S::read_ids_at + 2 * i, S::not_sl_port);
    std::array<std::uint16_t, S::max_ports> list{};
    const std::uint32_t distinct = tv::decode_zone_list(m_get_sl_zone_req, n, list);
    zone_array zones;
    if (!zones.allocate(distinct)) return TV_ERR_NOMEM;
    for (std::uint32_t k = 0; k < distinct; ++k) {
        int32_t status = TV_OK;
        tv_port_zone* zone = extract_sl_zone(nullptr, list[k], status);
        if (zone == nullptr) return status;
        zone->type = set->type;
        zones[k] = zone;
    }
    zones.hand_to(*set);
    return TV_OK;
}

int32_t set_sl_zone(tv_context* ctx, tv_port_zone* zone, int32_t save) {
    if (zone == nullptr) return TV_OK;
    if (!sl_subcmd(zone->type, 0)) return TV_ERR_ARG;
    if (zone->id > Z::max_sl_zone_id || !members_below(*zone, S::max_ports)) return TV_ERR_PARAM;
    if (const int32_t code = get_sl_zone_cmd(ctx, Z::subcmd::read_sl); code != TV_OK) return code;
    const std::uint32_t n = sl_ports();
    if (!members_below(*zone, n)) return TV_ERR_PARAM;
    // Every port keeps its current zone unless the record names it: a write only adds ports.
    for (std::uint32_t i = 0; i < n; ++i)
        w::put_be16(m_set_sl_zone_req, S::write_ids_at + 2 * i, tv::sl_zone_id(m_get_sl_zone_req, i));
    for (const std::uint32_t p : members(*zone))
        w::put_be16(m_set_sl_zone_req, S::write_ids_at + 2 * p, static_cast<std::uint16_t>(zone->id));
    if (const int32_t code = set_sl_zone_cmd(ctx, Z::subcmd::write_sl); code != TV_OK) return code;
    return save ? tv::simple_config_cmd(ctx, Z::subcmd::save_sl) : TV_OK;
}

int32_t get_sl_port_zone(tv_context* ctx, tv_sl_port_zones& ids) {
    if (const int32_t code = get_sl_zone_cmd(ctx, Z::subcmd::read_sl); code != TV_OK) return code;
    ids.count = sl_ports();
    for (std::uint32_t i = 0; i < ids.count; ++i) ids.ids[i] = tv::sl_zone_id(m_get_sl_zone_req, i);
    return TV_OK;
}

// ---- Name-server zoning type ----

int32_t get_type_ns_zoning(tv_context* ctx, uint32_t* type) {
    tv::build_config_request(ctx, m_get_type_ns_zoning, Z::subcmd::get_ns_zoning_type);
    const tv::exchanged x = tv::exchange_in_place(ctx, m_get_type_ns_zoning, T::len);
    if (x.ok() && type != nullptr) *type = w::get_u8(m_get_type_ns_zoning, T::value_at);
    return x.status;
}

int32_t set_type_ns_zoning(tv_context* ctx, uint32_t type) {
    // Not cleared: bytes 21 to 23 hold what the last answer left there.
    tv::write_header(ctx, m_set_type_ns_zoning, TV_CMD_CONFIG, T::len);
    w::put_be32(m_set_type_ns_zoning, tv::off::subcmd, Z::subcmd::set_ns_zoning_type);
    w::put_u8(m_set_type_ns_zoning, T::value_at, static_cast<std::uint8_t>(type));
    return tv::exchange_in_place(ctx, m_set_type_ns_zoning, T::len).status;
}

}  // namespace

extern "C" {

uint32_t tv_zone_type_to_subcmd(uint32_t key, int32_t saved) {
    const auto sub = subcmd_of_key(key + (saved ? Z::key_saved : 0));
    tv::publish(sub ? TV_OK : TV_ERR_ARG);
    return sub.value_or(0);
}

int32_t tv_port_zone_cmd(tv_context* ctx, uint32_t subcmd, uint32_t start) {
    if (ctx == nullptr) return tv::publish(TV_ERR_PARAM);
    return tv::publish(port_zone_cmd(ctx, subcmd, start));
}

tv_port_zone* tv_extract_zone(tv_port_zone* zone, uint32_t z) {
    int32_t status = TV_OK;
    tv_port_zone* out = extract_zone(zone, z, status);
    tv::publish(status);
    return out;
}

int32_t tv_get_port_zone(tv_context* ctx, tv_port_zone* zone, int32_t saved) {
    if (zone != nullptr && ctx == nullptr) return tv::publish(TV_ERR_PARAM);
    return tv::publish(get_port_zone(ctx, zone, saved));
}

int32_t tv_get_port_zone_set(tv_context* ctx, tv_port_zone_set* set, int32_t saved) {
    if (set != nullptr && ctx == nullptr) return tv::publish(TV_ERR_PARAM);
    return tv::publish(get_port_zone_set(ctx, set, saved));
}

int32_t tv_set_port_zone(tv_context* ctx, tv_port_zone* zone, int32_t save) {
    if (ctx == nullptr) return tv::publish(TV_ERR_PARAM);
    return tv::publish(set_port_zone(ctx, zone, save));
}

int32_t tv_change_zoning(tv_context* ctx, uint32_t type, int32_t save, uint32_t mask) {
    if (ctx == nullptr) return tv::publish(TV_ERR_PARAM);
    return tv::publish(change_zoning(ctx, type, save, mask));
}

int32_t tv_enable_zoning(tv_context* ctx, uint32_t type, int32_t save) {
    return tv_change_zoning(ctx, type, save, 0xFFFF);
}

int32_t tv_disable_zoning(tv_context* ctx, uint32_t type, int32_t save) {
    return tv_change_zoning(ctx, type, save, 0);
}

int32_t tv_free_port_zone(tv_port_zone* zone, int32_t free_record) {
    if (zone != nullptr) {
        if (free_record) {
            free_zone(zone);
        } else {
            std::free(zone->ports);
            zone->ports = nullptr;
            zone->count = 0;
        }
    }
    return tv::publish(TV_OK);
}

int32_t tv_free_port_zone_set(tv_port_zone_set* set, int32_t free_record) {
    if (set == nullptr) return tv::publish(TV_OK);
    for (std::uint32_t i = 0; set->zones != nullptr && i < set->count; ++i) free_zone(set->zones[i]);
    std::free(set->zones);
    if (free_record) {
        std::free(set);
    } else {
        set->zones = nullptr;
        set->count = 0;
    }
    return tv::publish(TV_OK);
}

int32_t tv_get_sl_zone_cmd(tv_context* ctx, uint32_t subcmd) {
    if (ctx == nullptr) return tv::publish(TV_ERR_PARAM);
    return tv::publish(get_sl_zone_cmd(ctx, subcmd));
}

int32_t tv_set_sl_zone_cmd(tv_context* ctx, uint32_t subcmd) {
    if (ctx == nullptr) return tv::publish(TV_ERR_PARAM);
    return tv::publish(set_sl_zone_cmd(ctx, subcmd));
}

int32_t tv_get_sl_zone(tv_context* ctx, tv_port_zone* zone, int32_t saved) {
    if (zone != nullptr && ctx == nullptr) return tv::publish(TV_ERR_PARAM);
    return tv::publish(get_sl_zone(ctx, zone, saved));
}

int32_t tv_get_sl_zone_set(tv_context* ctx, tv_port_zone_set* set, int32_t saved) {
    if (set != nullptr && ctx == nullptr) return tv::publish(TV_ERR_PARAM);
    return tv::publish(get_sl_zone_set(ctx, set, saved));
}

int32_t tv_set_sl_zone(tv_context* ctx, tv_port_zone* zone, int32_t save) {
    if (zone != nullptr && ctx == nullptr) return tv::publish(TV_ERR_PARAM);
    return tv::publish(set_sl_zone(ctx, zone, save));
}

tv_port_zone* tv_extract_sl_zone(tv_port_zone* zone, uint32_t id) {
    int32_t status = TV_OK;
    tv_port_zone* out = extract_sl_zone(zone, id, status);
    tv::publish(status);
    return out;
}

int32_t tv_get_zone_list(uint16_t* list) {
    if (list == nullptr) {
        tv::publish(TV_ERR_ARG);
        return 0;
    }
    const std::uint32_t n = sl_ports();
    tv::publish(TV_OK);
    return static_cast<int32_t>(tv::decode_zone_list(m_get_sl_zone_req, n, {list, n}));
}

int32_t tv_get_sl_port_zone(tv_context* ctx, tv_sl_port_zones* ids) {
    if (ids == nullptr) return tv::publish(TV_ERR_ARG);
    if (ctx == nullptr) return tv::publish(TV_ERR_PARAM);
    return tv::publish(get_sl_port_zone(ctx, *ids));
}

int32_t tv_get_type_ns_zoning(tv_context* ctx, uint32_t* type) {
    if (ctx == nullptr) return tv::publish(TV_ERR_PARAM);
    return tv::publish(get_type_ns_zoning(ctx, type));
}

int32_t tv_set_type_ns_zoning(tv_context* ctx, uint32_t type) {
    if (ctx == nullptr) return tv::publish(TV_ERR_PARAM);
    return tv::publish(set_type_ns_zoning(ctx, type));
}

}  // extern "C"
