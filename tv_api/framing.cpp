// Message framing: the header written into every request, the process-wide sequence number,
// destination addressing, checksums and the mapping of a response's status byte.
//
// Fields are serialised big-endian through wire.h; no record is ever copied onto the wire, so
// the host's byte order never matters and ConvertByteOrder has nothing to do.
#include <algorithm>
#include <array>

#include "tv_api/tv_inter.h"

extern "C" {
int32_t tv_api_errno = 0;
uint32_t msg_seq_num = 1;
uint32_t previous_dest_addr = TV_DEFAULT_DEST;
}

namespace tv {

namespace {
wire::bytes header_of(void* buf) { return {static_cast<std::uint8_t*>(buf), TV_HDR_LEN}; }
wire::cbytes header_of(const void* buf) {
    return {static_cast<const std::uint8_t*>(buf), TV_HDR_LEN};
}
}  // namespace

void write_header(tv_context* ctx, wire::bytes msg, std::uint16_t command, std::size_t total_len) {
    tv_msg_header h{};
    h.hdr_version = 1;
    h.hdr_format = 4;
    h.hdr_dest = (ctx ? ctx->dest_fc_addr : TV_DEFAULT_DEST) & 0x00FFFFFFu;
    h.hdr_command = command;
    h.hdr_length = static_cast<std::uint16_t>(total_len - TV_HDR_LEN);
    h.hdr_seq = ++msg_seq_num;
    encode_header(msg, h);
}

void build_request(tv_context* ctx, wire::bytes msg, std::uint16_t command) {
    std::fill(msg.begin(), msg.end(), std::uint8_t{0});
    write_header(ctx, msg, command, msg.size());
}

void build_config_request(tv_context* ctx, wire::bytes msg, std::uint32_t subcmd) {
    build_request(ctx, msg, TV_CMD_CONFIG);
    wire::put_be32(msg, off::subcmd, subcmd);
}

uint32_t set_dest_addr(tv_context* ctx, uint32_t fc_addr) {
    previous_dest_addr = ctx->dest_fc_addr;
    ctx->dest_fc_addr = fc_addr & 0xFFFFF000u;
    return previous_dest_addr;
}

uint32_t restore_dest_addr(tv_context* ctx) {
    ctx->dest_fc_addr = previous_dest_addr;
    return previous_dest_addr;
}

exchanged exchange(tv_context* ctx, wire::bytes req, wire::bytes resp, std::size_t min_answer) {
    std::fill(resp.begin(), resp.end(), std::uint8_t{0});
    return exchange_message(ctx, req, resp, min_answer);
}

exchanged exchange_in_place(tv_context* ctx, wire::bytes buf, std::size_t req_len) {
    // Sent from a copy: a stale answer read into `buf` must not become what a retry sends.
    std::array<std::uint8_t, TV_MAX_MSG_LEN> req;
    const std::size_t n = std::min({req_len, buf.size(), req.size()});
    std::copy_n(buf.begin(), n, req.begin());
    const exchanged x = exchange_message(ctx, {req.data(), n}, buf);
    if (x.ok() && x.length >= 0 && static_cast<std::size_t>(x.length) < buf.size())
        std::fill(buf.begin() + x.length, buf.end(), std::uint8_t{0});
    return x;
}

}  // namespace tv

extern "C" {

void tv_msg_hdr(tv_context* ctx, void* buf, int32_t command, int32_t total_len) {
    if (buf == nullptr) return;
    // The length field keeps the low 16 bits of total_len - 16, whatever total_len is.
    tv::write_header(ctx, tv::header_of(buf), static_cast<std::uint16_t>(command),
                     static_cast<std::uint32_t>(total_len));
    ConvertByteOrder(buf, TV_HDR_LEN);
}

uint32_t tv_set_dest_addr(tv_context* ctx, uint32_t fc_addr) {
    return ctx ? tv::set_dest_addr(ctx, fc_addr) : previous_dest_addr;
}

uint32_t tv_get_dest_addr(tv_context* ctx) { return ctx ? ctx->dest_fc_addr : 0; }

uint32_t tv_restore_dest_addr(tv_context* ctx) {
    return ctx ? tv::restore_dest_addr(ctx) : previous_dest_addr;
}

uint32_t tv_get_seq_num(const void* msg) {
    return msg ? tv::wire::get_be32(tv::header_of(msg), tv::off::seq) : 0;
}

uint32_t tv_calc_chksum(const void* bytes, int32_t count) {
    if (bytes == nullptr || count <= 0) return 0;
    return tv::byte_sum({static_cast<const std::uint8_t*>(bytes), static_cast<std::size_t>(count)});
}

uint32_t tv_set_chksum(void* msg, int32_t total_len) {
    if (msg == nullptr || total_len < TV_CHKSUM_LEN) return 0;
    return tv::set_checksum({static_cast<std::uint8_t*>(msg), static_cast<std::size_t>(total_len)});
}

int32_t tv_verify_chksum(const void* msg, int32_t total_len) {
    if (msg == nullptr || total_len < TV_CHKSUM_LEN) return 0;
    return tv::checksum_ok(
        {static_cast<const std::uint8_t*>(msg), static_cast<std::size_t>(total_len)});
}

int32_t check_flags(void* resp) {
    if (resp == nullptr) return tv::publish(TV_ERR_NO_RESPONSE);
    ConvertByteOrder(resp, TV_HDR_LEN);
    return tv::publish(
        tv::status_from_byte(static_cast<const std::uint8_t*>(resp)[tv::off::status]));
}

void ConvertByteOrder(void*, int32_t) {}

}  // extern "C"
