// WWN zoning: the switch's table of device WWNs, each with the set of zones 0 to 255 it belongs
// to, read a page of 8 entries at a time; adding a WWN to a zone and removing it from one by
// writing its whole entry back; resetting and saving the table.
//
// A lookup walks the pages in the module buffer m_get_wwn_zone and hands back a pointer into
// it. The walk is bounded twice: it stops at the first failed page, and it never asks for more
// than max_walk_entries entries whatever total a switch claims. A write that needs the entry
// the lookup found is not sent when the lookup failed: an inclusive add would otherwise drop
// every other zone of the WWN.
#include <algorithm>
#include <array>
#include <cstring>

#include "proto/zoning/decode.h"
#include "tv_api/tv_inter.h"

namespace {

namespace Z = tv::layout::zoning;
namespace W = Z::wwn;
namespace w = tv::wire;

thread_local std::array<std::uint8_t, W::page_len> m_get_wwn_zone;
thread_local std::array<std::uint8_t, W::page_len> m_ret_wwn_zone;
thread_local std::array<std::uint8_t, W::page_len> m_set_unnamed_wwn_zone;
thread_local std::array<std::uint8_t, W::reset_len> m_reset_actv_wwn_zoning;

constexpr std::size_t bits_len = 4 * W::bit_words;
constexpr std::size_t write_bits_at = W::entry_at(0) + W::entry_bits_at;

// The page request's fields, in a buffer whose header is written.
void put_page_request(w::bytes msg, std::int32_t first) {
    w::put_be32(msg, tv::off::subcmd, Z::subcmd::read_wwn_page);
    w::put_be32(msg, W::first_at, static_cast<std::uint32_t>(first));
    w::put_be32(msg, W::total_at, 0);
    w::put_u8(msg, W::total_at + 4, 0);
}

int32_t get_wwn_zone(tv_context* ctx, std::int32_t first, tv_wwn_zone_page& page) {
    m_get_wwn_zone.fill(0);
    const w::bytes req = std::span{m_get_wwn_zone}.first(W::page_req_len);
    tv::write_header(ctx, req, TV_CMD_CONFIG, W::page_req_len);
    put_page_request(req, first);
    if (const tv::exchanged x = tv::exchange(ctx, req, m_ret_wwn_zone); !x.ok()) return x.status;

    const w::cbytes resp = m_ret_wwn_zone;
    page.total = static_cast<std::int32_t>(w::get_be32(resp, W::total_at));
    page.start = w::get_be32(resp, W::first_at);
    const std::uint32_t n = tv::wwn_page_entries(page.total, first);
    for (std::uint32_t i = 0; i < n; ++i) {
        w::get_bytes(resp, W::entry_at(i), page.wwn[i], W::wwn_len);
        for (std::uint32_t k = 0; k < W::bit_words; ++k)
            page.zone_bits[i][k] = w::get_be32(resp, W::entry_at(i) + W::entry_bits_at + 4 * k);
    }
    return TV_OK;
}

// The table entry of `wwn` inside m_get_wwn_zone, or null; `status` says whether the walk was
// complete (0) or which exchange ended it.
std::uint8_t* find_wwn_zone(tv_context* ctx, const std::uint8_t* wwn, int32_t& status) {
    m_get_wwn_zone.fill(0);
    const w::bytes req = std::span{m_get_wwn_zone}.first(W::page_req_len);
    for (std::int32_t index = 0;; index += static_cast<std::int32_t>(W::page_entries)) {
        tv::write_header(ctx, req, TV_CMD_CONFIG, W::page_req_len);
        put_page_request(req, index);
        if (const tv::exchanged x = tv::exchange_in_place(ctx, m_get_wwn_zone, W::page_req_len); !x.ok()) {
            status = x.status;
            return nullptr;
        }
        const auto total = static_cast<std::int32_t>(w::get_be32(m_get_wwn_zone, W::total_at));
        const std::uint32_t n = tv::wwn_page_entries(total, index);
        for (std::uint32_t i = 0; i < n; ++i) {
            std::uint8_t* entry = m_get_wwn_zone.data() + W::entry_at(i);
            if (std::memcmp(entry, wwn, W::wwn_len) == 0) {
                log_info("match: ");
                status = TV_OK;
                return entry;
            }
        }
        if (index + static_cast<std::int32_t>(W::page_entries) >= std::min(total, W::max_walk_entries))
            break;
    }
    status = TV_OK;
    return nullptr;
}

// Starts the one-entry write: the buffer zeroed and its header written, before any lookup.
void begin_entry_write(tv_context* ctx) {
    m_set_unnamed_wwn_zone.fill(0);
    tv::write_header(ctx, m_set_unnamed_wwn_zone, TV_CMD_CONFIG, W::page_len);
}

// Fills the write's fields around the zone bitmap already in place, changes the zone's bit and
// sends it.
int32_t finish_entry_write(tv_context* ctx, std::uint32_t zone, const std::uint8_t* wwn, bool member) {
    w::bytes m = m_set_unnamed_wwn_zone;
    w::put_be32(m, tv::off::subcmd, Z::subcmd::write_wwn_entry);
    w::put_be32(m, W::first_at, 0);
    w::put_be32(m, W::total_at, 1);
    w::put_u8(m, W::total_at + 4, 0);
    w::put_bytes(m, W::entry_at(0), wwn, W::wwn_len);
    const std::size_t word_at = write_bits_at + 4 * (zone >> 5);
    const std::uint32_t bit = 1u << (zone & 31);
    const std::uint32_t word = w::get_be32(m, word_at);
    w::put_be32(m, word_at, member ? word | bit : word & ~bit);
    return tv::exchange_in_place(ctx, m, W::page_len).status;
}

int32_t set_wwn_zone(tv_context* ctx, std::uint32_t zone, const std::uint8_t* wwn, int32_t inclusive) {
    if (zone >= W::zones || wwn == nullptr) return TV_ERR_PARAM;
    begin_entry_write(ctx);
    if (inclusive) {
        int32_t status = TV_OK;
        const std::uint8_t* entry = find_wwn_zone(ctx, wwn, status);
        if (status != TV_OK) return status;
        // A WWN that is not in the table starts from no zone at all.
        if (entry != nullptr)
            std::memcpy(m_set_unnamed_wwn_zone.data() + write_bits_at, entry + W::entry_bits_at, bits_len);
    }
    return finish_entry_write(ctx, zone, wwn, true);
}

int32_t rem_wwn_zone(tv_context* ctx, std::uint32_t zone, const std::uint8_t* wwn) {
    if (zone >= W::zones || wwn == nullptr) return TV_ERR_PARAM;
    begin_entry_write(ctx);
    int32_t status = TV_OK;
    const std::uint8_t* entry = find_wwn_zone(ctx, wwn, status);
    if (status != TV_OK) return status;
    if (entry == nullptr) return TV_ERR_WWN_NOT_FOUND;
    std::memcpy(m_set_unnamed_wwn_zone.data() + write_bits_at, entry + W::entry_bits_at, bits_len);
    return finish_entry_write(ctx, zone, wwn, false);
}

int32_t reset_wwn_zoning(tv_context* ctx, std::uint8_t mode) {
    tv::build_config_request(ctx, m_reset_actv_wwn_zoning, Z::subcmd::reset_wwn);
    w::put_u8(m_reset_actv_wwn_zoning, W::reset_mode_at, mode);
    const tv::exchanged x = tv::exchange_in_place(ctx, m_reset_actv_wwn_zoning, W::reset_len);
    if (x.ok()) log_info("tv_set_config: set\n");
    return x.status;
}

}  // namespace

extern "C" {

int32_t tv_get_wwn_zone(tv_context* ctx, int32_t first, tv_wwn_zone_page* page) {
    if (ctx == nullptr || page == nullptr) return tv::publish(TV_ERR_PARAM);
    return tv::publish(get_wwn_zone(ctx, first, *page));
}

uint8_t* tv_find_wwn_zone(tv_context* ctx, const uint8_t* wwn) {
    if (ctx == nullptr || wwn == nullptr) {
        tv::publish(TV_ERR_PARAM);
        return nullptr;
    }
    int32_t status = TV_OK;
    std::uint8_t* entry = find_wwn_zone(ctx, wwn, status);
    tv::publish(status);
    return entry;
}

int32_t tv_set_wwn_zone(tv_context* ctx, uint32_t zone, const uint8_t* wwn, const char* /*name*/,
                        int32_t inclusive) {
    if (ctx == nullptr) return tv::publish(TV_ERR_PARAM);
    return tv::publish(set_wwn_zone(ctx, zone, wwn, inclusive));
}

int32_t tv_rem_wwn_zone(tv_context* ctx, uint32_t zone, const uint8_t* wwn, const char* /*name*/) {
    if (ctx == nullptr) return tv::publish(TV_ERR_PARAM);
    return tv::publish(rem_wwn_zone(ctx, zone, wwn));
}

int32_t tv_reset_wwn_zoning(tv_context* ctx, uint8_t mode) {
    if (ctx == nullptr) return tv::publish(TV_ERR_PARAM);
    return tv::publish(reset_wwn_zoning(ctx, mode));
}

int32_t tv_save_wwn_zoning(tv_context* ctx) {
    if (ctx == nullptr) return tv::publish(TV_ERR_PARAM);
    return tv::publish(tv::simple_config_cmd(ctx, Z::subcmd::save_wwn));
}

}  // extern "C"
