// Request validation, routing and the handler lookup.
#include "switchsim/core/dispatch.h"

#include "proto/chassis/layout.h"
#include "proto/echo.h"
#include "proto/header.h"
#include "switchsim/core/handlers.h"

namespace sim {

namespace {

namespace w = tv::wire;

// The reset message is the one request without a checksum word: 16 bytes, length field 0,
// the checksum of bytes 0-11 in place of the sequence number.
bool is_reset_message(w::cbytes d) {
    return d.size() == tv::layout::chassis::reset_len &&
           w::get_be16(d, tv::off::command) == TV_CMD_SWITCH_RESET &&
           w::get_be16(d, tv::off::length) == 0;
}

}  // namespace

std::vector<std::uint8_t> frame_answer(std::vector<std::uint8_t> answer, w::cbytes request,
                                       std::uint8_t status, std::uint32_t seq, bool corrupt) {
    if (answer.size() < TV_MIN_MSG_LEN) answer.resize(TV_MIN_MSG_LEN, 0);
    for (std::size_t i = 0; i < TV_HDR_LEN; ++i) answer[i] = w::get_u8(request, i);
    tv::echo::copy_fields(request, answer);
    w::put_u8(answer, tv::off::status, status);
    w::put_be32(answer, tv::off::seq, seq);
    w::put_be16(answer, tv::off::length, static_cast<std::uint16_t>(answer.size() - TV_HDR_LEN));
    const std::uint32_t sum = tv::set_checksum(answer);
    if (corrupt) w::put_be32(answer, answer.size() - TV_CHKSUM_LEN, sum ^ 0xA5A5A5A5u);
    return answer;
}

dispatch_result dispatch(const handler_index& index, fabric& f, std::size_t owner, w::cbytes d,
                         in_addr_t from_ip, std::uint16_t from_port) {
    dispatch_result r;
    if (is_reset_message(d)) {
        namespace L = tv::layout::chassis;
        if (w::get_be32(d, L::reset_checksum_at) != tv::byte_sum(d.first(L::reset_checksum_at))) {
            r.what = dispatch_result::outcome::bad_checksum;
            return r;
        }
    } else {
        if (d.size() < TV_MIN_MSG_LEN || w::get_be16(d, tv::off::length) != d.size() - TV_HDR_LEN)
            return r;  // malformed
        if (!tv::checksum_ok(d)) {
            r.what = dispatch_result::outcome::bad_checksum;
            return r;
        }
    }
    r.seq = w::get_be32(d, tv::off::seq);
    r.command = w::get_be16(d, tv::off::command);
    if (has_subcommands(r.command)) r.subcommand = w::get_be32(d, tv::off::subcmd);

    const handler_entry* h = index.find(r.command, r.subcommand);
    r.name = h ? h->name : "unknown";
    r.dest = w::get_be24(d, tv::off::dest);
    r.sw = r.dest == TV_DEFAULT_DEST ? std::optional(owner) : f.find_by_chassis(chassis_of(r.dest));
    // Another switch answers through this one only while a route over links that are up
    // leads to it.
    if (r.sw && !f.reaches(owner, *r.sw)) r.sw.reset();
    if (!r.sw) {
        r.what = dispatch_result::outcome::unroutable;
        return r;
    }

    const auto now = std::chrono::steady_clock::now();
    if (f.switches[owner].silent_until > now || f.switches[*r.sw].silent_until > now) {
        r.what = dispatch_result::outcome::restarting;
        return r;
    }

    if (h == nullptr || !h->reads_only) ++f.revision;
    request_ctx c{.fab = f, .sw = *r.sw, .req = d, .from_ip = from_ip, .from_port = from_port};
    families::each([&](const family_info& fi) {
        if (fi.on_request) fi.on_request(c);
    });
    auto& login = f.switches[*r.sw].get<login_state>();
    if (h == nullptr)
        c.status = TV_HDR_STATUS_UNKNOWN;
    else if (h->needs_login && login.login_required && !login.session_active(c.session()))
        c.status = TV_HDR_STATUS_LOGIN;
    else
        h->fn(c);
    r.sends = std::move(c.sends);
    r.note = std::move(c.note);
    if (c.silent) {
        r.what = dispatch_result::outcome::silent;
        return r;
    }
    // A refused request is answered with the header alone.
    if (c.status != TV_HDR_STATUS_OK && c.status != status_bad_request) c.answer.clear();
    r.status = c.status;
    r.answer = std::move(c.answer);
    r.what = dispatch_result::outcome::answered;
    return r;
}

}  // namespace sim
