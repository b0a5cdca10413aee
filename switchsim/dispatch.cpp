// Request validation, routing and the handler lookup.
#include "dispatch.h"

#include <array>

#include "handlers.h"
#include "tv_inter.h"

namespace sim {

namespace {

namespace w = tv::wire;

// The reset message is the one request without a checksum word: 16 bytes, length field 0,
// the checksum of bytes 0-11 in place of the sequence number.
bool is_reset_message(w::cbytes d) {
    return d.size() == TV_HDR_LEN && w::get_be16(d, tv::off::command) == TV_CMD_SWITCH_RESET &&
           w::get_be16(d, tv::off::length) == 0;
}

const handler_entry* find_handler(std::uint16_t command, std::uint32_t subcommand) {
    static const std::array<std::span<const handler_entry>, 4> families{
        identity_handlers(), port_handlers(), login_handlers(), chassis_handlers()};
    for (const auto family : families)
        for (const auto& h : family)
            if (h.command == command && (command != TV_CMD_CONFIG || h.subcommand == subcommand))
                return &h;
    return nullptr;
}

}  // namespace

void frame_answer(std::vector<std::uint8_t>& answer, w::cbytes request, std::uint8_t status) {
    if (answer.size() < TV_MIN_MSG_LEN) answer.resize(TV_MIN_MSG_LEN, 0);
    for (std::size_t i = 0; i < TV_HDR_LEN; ++i) answer[i] = w::get_u8(request, i);
    w::put_u8(answer, tv::off::status, status);
    w::put_be16(answer, tv::off::length, static_cast<std::uint16_t>(answer.size() - TV_HDR_LEN));
    tv_set_chksum(answer.data(), static_cast<int32_t>(answer.size()));
}

dispatch_result dispatch(fabric& f, std::size_t owner, w::cbytes d, in_addr_t from_ip,
                         std::uint16_t from_port) {
    dispatch_result r;
    const bool reset = is_reset_message(d);
    if (reset) {
        if (w::get_be32(d, 12) != tv_calc_chksum(d.data(), 12)) {
            r.what = dispatch_result::outcome::bad_checksum;
            return r;
        }
    } else {
        if (d.size() < TV_MIN_MSG_LEN || w::get_be16(d, tv::off::length) != d.size() - TV_HDR_LEN)
            return r;  // malformed
        if (!tv_verify_chksum(d.data(), static_cast<int32_t>(d.size()))) {
            r.what = dispatch_result::outcome::bad_checksum;
            return r;
        }
        r.seq = w::get_be32(d, tv::off::seq);
    }
    r.command = w::get_be16(d, tv::off::command);
    if (r.command == TV_CMD_CONFIG) r.subcommand = w::get_be32(d, tv::off::subcmd);

    const handler_entry* h = find_handler(r.command, r.subcommand);
    r.name = h ? h->name : "unknown";
    r.dest = w::get_be24(d, tv::off::dest);
    r.sw = r.dest == TV_DEFAULT_DEST ? std::optional(owner) : f.find_by_chassis(chassis_of(r.dest));
    if (!r.sw) {
        r.what = dispatch_result::outcome::unroutable;
        return r;
    }

    request_ctx c{f, *r.sw, d, from_ip, from_port, {}, 0, false};
    switch_state& s = f.switches[*r.sw];
    if (h == nullptr)
        c.status = TV_HDR_STATUS_UNKNOWN;
    else if (h->needs_login && s.login_required && !s.sessions.contains(c.session()))
        c.status = TV_HDR_STATUS_LOGIN;
    else
        h->fn(c);
    if (c.silent) {
        r.what = dispatch_result::outcome::silent;
        return r;
    }
    // A refused request is answered with the header alone.
    if (c.status != TV_HDR_STATUS_OK && c.status != status_bad_request) c.answer.clear();
    frame_answer(c.answer, d, c.status);
    r.answer = std::move(c.answer);
    r.what = dispatch_result::outcome::answered;
    return r;
}

}  // namespace sim
