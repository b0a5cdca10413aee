// Chassis configuration: the fabric timeouts and stage type of the switch parameter block,
// saving the active configuration, chassis mode and type, the SL-zoning-mode flag and the
// switch reset.
//
// The parameter block is changed by read-modify-write: the active block is read into
// m_config_param_ret2 and sent back whole with only the named fields replaced, so bytes this
// library does not interpret go back exactly as the switch gave them. A block answer too short
// to hold the whole block is refused (200) rather than sent back padded with zeros.
//
// Resetting a switch: a bare 16-byte header sent once. The switch restarts instead of
// answering, so there is no exchange; the checksum takes the place of the sequence number, and
// the context forgets its last good exchange because the switch's state went with the reset.
#include <array>

#include "proto/chassis/layout.h"
#include "tv_api/tv_inter.h"

namespace {

namespace L = tv::layout::chassis;
namespace P = L::param;
namespace V = L::value_msg;
namespace w = tv::wire;

thread_local std::array<std::uint8_t, P::len> m_config_param_req2;
thread_local std::array<std::uint8_t, P::len> m_config_param_ret2;
thread_local std::array<std::uint8_t, V::len> msg_chassis_mode;
thread_local std::array<std::uint8_t, V::len> m_get_chassis_type;
thread_local std::array<std::uint8_t, V::len> m_set_chassis_type;
thread_local std::array<std::uint8_t, L::reset_len> m_simple_cmd;

constexpr std::uint32_t flash_rev_mask = 0xFFFFF;
constexpr std::uint32_t last_sl_only_rev = 0x30400;

// The sub-command of a set selector: 0 saved, 1 active, anything else 0.
constexpr std::uint32_t params_subcmd(int32_t which) {
    return which == 0 ? L::subcmd::read_saved : which == 1 ? L::subcmd::read_active : 0;
}

// Reads a parameter block into m_config_param_ret2.
int32_t read_params(tv_context* ctx, std::uint32_t subcmd) {
    tv::build_config_request(ctx, m_config_param_req2, subcmd);
    const tv::exchanged x = tv::exchange(ctx, m_config_param_req2, m_config_param_ret2);
    if (!x.ok()) return x.status;
    return x.length >= static_cast<int32_t>(P::len) ? TV_OK : TV_ERR_SWITCH;
}

int32_t get_switch_tovs(tv_context* ctx, int32_t which, tv_switch_tovs& tovs) {
    if (const int32_t code = read_params(ctx, params_subcmd(which)); code != TV_OK) return code;
    const w::cbytes r = m_config_param_ret2;
    tovs.edtov = static_cast<int32_t>(w::get_be32(r, P::ed_tov));
    tovs.mfstov = w::get_be16(r, P::mfs_tov);
    tovs.ratov = static_cast<int32_t>(w::get_be32(r, P::ra_tov));
    tovs.rttov = static_cast<int32_t>(w::get_be32(r, P::rt_tov));
    return TV_OK;
}

int32_t set_switch_tovs(tv_context* ctx, const tv_switch_tovs& tovs) {
    if (const int32_t code = read_params(ctx, L::subcmd::read_active); code != TV_OK) return code;
    tv::build_config_request(ctx, m_config_param_req2, L::subcmd::write_params);
    std::copy_n(m_config_param_ret2.begin() + P::block_at, P::block_len,
                m_config_param_req2.begin() + P::block_at);
    const w::bytes q = m_config_param_req2;
    w::put_be32(q, P::ed_tov, static_cast<std::uint32_t>(tovs.edtov));
    w::put_be16(q, P::mfs_tov, tovs.mfstov);
    w::put_be32(q, P::ra_tov, static_cast<std::uint32_t>(tovs.ratov));
    w::put_be32(q, P::rt_tov, static_cast<std::uint32_t>(tovs.rttov));
    // A write is answered with 24 bytes.
    return tv::exchange(ctx, m_config_param_req2, w::bytes{m_config_param_ret2}.first(P::write_ret_len))
        .status;
}

int32_t get_stagetype(tv_context* ctx, int32_t which, std::uint8_t& stage) {
    stage = 0;
    if (which != 0 && which != 1) return TV_ERR_PARAM;
    if (const int32_t code = read_params(ctx, params_subcmd(which)); code != TV_OK) return code;
    stage = w::get_u8(m_config_param_ret2, P::stage_type);
    return TV_OK;
}

int32_t get_chassis_mode(tv_context* ctx, uint32_t* mode) {
    std::array<std::uint8_t, L::bare_subcmd_len> req;
    tv::build_config_request(ctx, req, L::subcmd::get_chassis_mode);
    const tv::exchanged x = tv::exchange(ctx, req, msg_chassis_mode);
    if (x.ok() && mode != nullptr) *mode = w::get_u8(msg_chassis_mode, V::value_at);
    return x.status;
}

int32_t set_chassis_mode(tv_context* ctx, uint32_t mode) {
    if (const int32_t code = get_chassis_mode(ctx, nullptr); code != TV_OK) return code;
    // The answer just read goes back with the new mode: bytes 21-23 stay as the switch gave them.
    tv::write_header(ctx, msg_chassis_mode, TV_CMD_CONFIG, msg_chassis_mode.size());
    w::put_be32(msg_chassis_mode, tv::off::subcmd, L::subcmd::set_chassis_mode);
    w::put_u8(msg_chassis_mode, V::value_at, static_cast<std::uint8_t>(mode));
    return tv::exchange_in_place(ctx, msg_chassis_mode).status;
}

int32_t get_chassis_type(tv_context* ctx, uint32_t* type) {
    tv::build_config_request(ctx, m_get_chassis_type, L::subcmd::get_chassis_type);
    const tv::exchanged x = tv::exchange_in_place(ctx, m_get_chassis_type);
    if (x.ok() && type != nullptr) *type = w::get_u8(m_get_chassis_type, V::value_at);
    return x.status;
}

int32_t set_chassis_type(tv_context* ctx, uint32_t type) {
    // Cleared first: the set carries zeros in bytes 21-23 whatever the last answer held there.
    tv::build_config_request(ctx, m_set_chassis_type, L::subcmd::set_chassis_type);
    w::put_u8(m_set_chassis_type, V::value_at, static_cast<std::uint8_t>(type));
    return tv::exchange_in_place(ctx, m_set_chassis_type).status;
}

int32_t get_slzoningmode_flag(tv_context* ctx, std::uint8_t& flag) {
    flag = 0;
    tv_version_info v{};
    if (const int32_t code = tv::get_version(ctx, v); code != TV_OK) return code;
    if ((v.flash_rev & flash_rev_mask) <= last_sl_only_rev) {
        flag = 1;
        return TV_OK;
    }
    if (const int32_t code = get_chassis_type(ctx, nullptr); code != TV_OK) return code;
    flag = w::get_u8(m_get_chassis_type, V::sl_zoning_at);
    return TV_OK;
}

int32_t switch_reset(tv_context* ctx) {
    tv::build_request(ctx, m_simple_cmd, TV_CMD_SWITCH_RESET);
    tv::set_checksum(m_simple_cmd);
    if (tv::send_datagram(ctx, m_simple_cmd) == -1) return TV_ERR_SEND;
    ctx->last_activity = 0;
    return TV_OK;
}

// The C entry points refuse a missing context or record before anything is sent.
int32_t refused() { return tv::publish(TV_ERR_PARAM); }

}  // namespace

extern "C" {

int32_t tv_switch_reset(tv_context* ctx) {
    if (ctx == nullptr) return refused();
    // Success leaves the status code as it was: nothing was exchanged.
    const int32_t code = switch_reset(ctx);
    return code == TV_OK ? code : tv::publish(code);
}

int32_t tv_get_switch_tovs(tv_context* ctx, int32_t which, tv_switch_tovs* tovs) {
    if (ctx == nullptr || tovs == nullptr) return refused();
    // Filled only on success: a local record takes the values first.
    tv_switch_tovs got{};
    const int32_t code = get_switch_tovs(ctx, which, got);
    if (code == TV_OK) *tovs = got;
    return tv::publish(code);
}

int32_t tv_set_switch_tovs(tv_context* ctx, const tv_switch_tovs* tovs) {
    if (ctx == nullptr || tovs == nullptr) return refused();
    return tv::publish(set_switch_tovs(ctx, *tovs));
}

int32_t tv_save_active(tv_context* ctx) {
    if (ctx == nullptr) return refused();
    return tv::publish(tv::simple_config_cmd(ctx, L::subcmd::save_active));
}

int32_t tv_get_chassis_mode(tv_context* ctx, uint32_t* mode) {
    if (ctx == nullptr) return refused();
    return tv::publish(get_chassis_mode(ctx, mode));
}

int32_t tv_set_chassis_mode(tv_context* ctx, uint32_t mode) {
    if (ctx == nullptr) return refused();
    return tv::publish(set_chassis_mode(ctx, mode));
}

int32_t tv_get_chassis_type(tv_context* ctx, uint32_t* type) {
    if (ctx == nullptr) return refused();
    return tv::publish(get_chassis_type(ctx, type));
}

int32_t tv_set_chassis_type(tv_context* ctx, uint32_t type) {
    if (ctx == nullptr) return refused();
    return tv::publish(set_chassis_type(ctx, type));
}

int32_t tv_get_stagetype(tv_context* ctx, int32_t which, uint8_t* stage) {
    if (ctx == nullptr || stage == nullptr) return refused();
    return tv::publish(get_stagetype(ctx, which, *stage));
}

int32_t tv_get_slzoningmode_flag(tv_context* ctx, uint8_t* flag) {
    if (ctx == nullptr || flag == nullptr) return refused();
    return tv::publish(get_slzoningmode_flag(ctx, *flag));
}

}  // extern "C"
