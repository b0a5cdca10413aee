// Port types and port configuration: reading the port count, types, loop modes, MFS modes and
// administrative states of a switch, and changing them.
//
// Every message is a configuration request (command 0x30) with a sub-command word. The three
// per-port array reads share one shape (read_port_array). The port-state response is kept in
// the module-static m_port_state_ret because tv_set_port_state sends back the admin vector the
// last query left there; it is read only after decode_port_count has accepted its count, so the
// N-strided arrays always lie inside the message.
#include <algorithm>
#include <array>
#include <cstdlib>

#include "proto/ports/decode.h"
#include "tv_api/alloc.h"
#include "tv_api/tv_inter.h"

namespace {

namespace L = tv::layout::ports;
using tv::port_array;
using tv::port_array_at;

thread_local std::array<std::uint8_t, L::state_req_len> m_port_state_req;
thread_local std::array<std::uint8_t, L::state_ret_len> m_port_state_ret;
thread_local std::array<std::uint8_t, L::set_state_req_len> m_set_port_state_req;
thread_local std::array<std::uint8_t, L::set_state_ret_len> m_set_port_state_ret;
thread_local std::array<std::uint8_t, L::set_port_req_len> m_set_prt_mfs_mode_req;
thread_local std::array<std::uint8_t, L::set_mfs_ret_len> m_set_prt_mfs_mode_ret;

// How tv_set_port_type sets each port type: the loop mode first, then the code the switch
// takes for the type (0: the type cannot be set).
struct type_setting {
    std::uint8_t wire_code;
    bool loop_enabled;
};
constexpr std::array<type_setting, 6> type_settings{{
    {0, false},  // not a valid type
    {1, false},  // F_Port
    {1, true},   // FL_Port
    {1, false},  // T_Port
    {4, true},   // SL_Port
    {5, true},   // TL_Port
}};

// A zero-filled array for the caller to release; never null for a count of 0 merely because the
// C library may return null for an empty allocation.
template <class T>
T* alloc_ports(std::uint32_t n) {
    return static_cast<T*>(tv::alloc_zeroed(std::max<std::size_t>(n, 1), sizeof(T)));
}

template <class T>
void release(T*& p) {
    std::free(p);
    p = nullptr;
}

// The shape of the three per-port array reads: one 24-byte query, then the port count and the
// one array of the response that `array_at` places for that count.
int32_t read_port_array(tv_context* ctx, std::uint32_t query, tv::wire::bytes resp,
                        std::size_t (*array_at)(std::uint32_t), std::uint32_t& count,
                        std::uint8_t*& out) {
    std::array<std::uint8_t, L::query_len> req;
    tv::build_config_request(ctx, req, query);
    if (const tv::exchanged x = tv::exchange(ctx, req, resp); !x.ok()) return x.status;
    const auto n = tv::decode_port_count(resp);
    if (!n) return TV_ERR_SWITCH;
    count = *n;
    out = alloc_ports<std::uint8_t>(*n);
    if (out == nullptr) return TV_ERR_ALLOC;
    tv::decode_port_bytes(resp, array_at(*n), {out, *n});
    return TV_OK;
}

int32_t set_port_al_disabled(tv_context* ctx, uint32_t port, int32_t disabled) {
    std::array<std::uint8_t, L::set_port_req_len> req;
    std::array<std::uint8_t, L::set_port_ret_len> resp;
    tv::build_config_request(ctx, req, disabled ? L::subcmd::al_disable : L::subcmd::al_enable);
    tv::wire::put_u8(req, L::port_at, static_cast<std::uint8_t>(port));
    return tv::exchange(ctx, req, resp).status;
}

int32_t set_port_type(tv_context* ctx, uint32_t port, int32_t type, int32_t follow_up) {
    const bool known = type >= 0 && static_cast<std::size_t>(type) < type_settings.size();
    const type_setting t = type_settings[known ? static_cast<std::size_t>(type) : 0];
    // The loop mode goes first, even for a type that is then refused.
    if (const int32_t code = set_port_al_disabled(ctx, port, t.loop_enabled ? 0 : 1); code != TV_OK)
        return code;
    if (t.wire_code == 0) return TV_ERR_PARAM;

    std::array<std::uint8_t, L::set_port_req_len> req;
    std::array<std::uint8_t, L::set_port_ret_len> resp;
    tv::build_config_request(ctx, req, L::subcmd::set_port_type);
    tv::wire::put_u8(req, L::port_at, static_cast<std::uint8_t>(port));
    tv::wire::put_u8(req, L::value_at, t.wire_code);
    const tv::exchanged x = tv::exchange(ctx, req, resp);
    if (!x.ok() || !follow_up) return x.status;

    std::array<std::uint8_t, L::follow_up_len> follow;
    tv::build_config_request(ctx, follow, L::subcmd::port_type_follow_up);
    return tv::exchange(ctx, follow, resp).status;
}

int32_t get_port_state(tv_context* ctx, tv_port_state* rec) {
    // The header, and so the sequence number, is written before the port-count query.
    tv::build_config_request(ctx, m_port_state_req, L::subcmd::port_state);
    int32_t ports = -1;
    tv::get_num_of_ports(ctx, ports);
    tv::wire::put_u8(m_port_state_req, L::count_at, static_cast<std::uint8_t>(ports));
    if (const tv::exchanged x = tv::exchange(ctx, m_port_state_req, m_port_state_ret); !x.ok())
        return x.status;
    const auto n = tv::decode_port_count(m_port_state_ret);
    if (!n) return TV_ERR_SWITCH;
    if (rec == nullptr) return TV_OK;

    rec->count = *n;
    rec->entries = alloc_ports<tv_port_state_entry>(*n);
    if (rec->entries == nullptr) return TV_ERR_ALLOC;
    tv::decode_port_state(m_port_state_ret, *n, {rec->entries, *n});
    return TV_OK;
}

int32_t set_port_state(tv_context* ctx, int32_t port, uint32_t state) {
    tv::build_config_request(ctx, m_set_port_state_req, L::subcmd::set_port_state);
    int32_t ports = -1;
    tv::get_num_of_ports(ctx, ports);
    tv::wire::put_u8(m_set_port_state_req, L::count_at, static_cast<std::uint8_t>(ports));
    if (const int32_t code = get_port_state(ctx, nullptr); code != TV_OK) return code;
    tv::encode_admin_vector(m_port_state_ret, port, static_cast<std::uint8_t>(state),
                            m_set_port_state_req);
    return tv::exchange(ctx, m_set_port_state_req, m_set_port_state_ret).status;
}

}  // namespace

namespace tv {

int32_t get_port_types(tv_context* ctx, tv_port_types& types) {
    std::array<std::uint8_t, L::types_ret_len> resp;
    return read_port_array(
        ctx, L::subcmd::port_types, resp, [](std::uint32_t) { return L::arrays_at; }, types.count,
        types.types);
}

int32_t refresh_port_state(tv_context* ctx) { return get_port_state(ctx, nullptr); }

wire::cbytes port_state_response() { return m_port_state_ret; }

int32_t get_num_of_ports(tv_context* ctx, int32_t& count) {
    tv_port_types types{};
    const int32_t code = get_port_types(ctx, types);
    count = code == TV_OK ? static_cast<int32_t>(types.count) : -1;
    release(types.types);
    return code;
}

}  // namespace tv

extern "C" {

int32_t tv_get_port_types(tv_context* ctx, tv_port_types* types) {
    if (types == nullptr) return tv::publish(TV_ERR_PARAM);
    return tv::publish(tv::get_port_types(ctx, *types));
}

int32_t tv_get_num_of_ports(tv_context* ctx) {
    int32_t n = -1;
    tv::publish(tv::get_num_of_ports(ctx, n));
    return n;
}

void tv_free_port_types(tv_port_types* types) {
    if (types != nullptr) release(types->types);
}

int32_t tv_set_port_al_disabled(tv_context* ctx, uint32_t port, int32_t disabled) {
    return tv::publish(set_port_al_disabled(ctx, port, disabled));
}

int32_t tv_get_port_al_disabled(tv_context* ctx, tv_port_al_disabled* rec) {
    if (rec == nullptr) return tv::publish(TV_ERR_PARAM);
    return tv::publish(read_port_array(
        ctx, L::subcmd::port_state, m_port_state_ret,
        [](std::uint32_t n) { return port_array_at(port_array::al_disabled, n); }, rec->count,
        rec->flags));
}

void tv_free_port_al_disabled(tv_port_al_disabled* rec) {
    if (rec != nullptr) release(rec->flags);
}

int32_t tv_set_port_mfs_mode(tv_context* ctx, uint32_t port, uint32_t mode) {
    tv::build_config_request(ctx, m_set_prt_mfs_mode_req, L::subcmd::set_mfs_mode);
    tv::wire::put_u8(m_set_prt_mfs_mode_req, L::port_at, static_cast<std::uint8_t>(port));
    tv::wire::put_u8(m_set_prt_mfs_mode_req, L::value_at, static_cast<std::uint8_t>(mode));
    return tv::publish(tv::exchange(ctx, m_set_prt_mfs_mode_req, m_set_prt_mfs_mode_ret).status);
}

int32_t tv_get_port_mfs_mode(tv_context* ctx, tv_port_mfs_modes* rec) {
    if (rec == nullptr) return tv::publish(TV_ERR_PARAM);
    return tv::publish(read_port_array(
        ctx, L::subcmd::port_state, m_port_state_ret,
        [](std::uint32_t n) { return port_array_at(port_array::mfs_mode, n); }, rec->count,
        rec->modes));
}

void tv_free_port_mfs_mode(tv_port_mfs_modes* rec) {
    if (rec != nullptr) release(rec->modes);
}

int32_t tv_set_port_type(tv_context* ctx, uint32_t port, int32_t type, int32_t follow_up) {
    return tv::publish(set_port_type(ctx, port, type, follow_up));
}

int32_t tv_get_port_state(tv_context* ctx, tv_port_state* rec) {
    return tv::publish(get_port_state(ctx, rec));
}

void tv_free_port_state(tv_port_state* rec) {
    if (rec != nullptr) release(rec->entries);
}

int32_t tv_set_port_state(tv_context* ctx, int32_t port, uint32_t state) {
    return tv::publish(set_port_state(ctx, port, state));
}

}  // extern "C"
