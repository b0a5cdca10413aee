// Encoding and decoding of the message header, and the byte-sum checksum (see header.h).
#include "proto/header.h"

namespace tv {

tv_msg_header decode_header(wire::cbytes msg) {
    tv_msg_header h{};
    if (msg.size() < TV_HDR_LEN) return h;
    const std::uint16_t vfo = wire::get_be16(msg, 0);
    h.hdr_version = static_cast<std::uint8_t>(vfo >> 12);
    h.hdr_format = static_cast<std::uint8_t>((vfo >> 6) & 0x3F);
    h.hdr_option = static_cast<std::uint8_t>(vfo & 0x3F);
    h.hdr_status = wire::get_u8(msg, off::status);
    h.hdr_dest = wire::get_be24(msg, off::dest);
    h.hdr_command = wire::get_be16(msg, off::command);
    h.hdr_length = wire::get_be16(msg, off::length);
    h.hdr_seq = wire::get_be32(msg, off::seq);
    return h;
}

void encode_header(wire::bytes msg, const tv_msg_header& h) {
    if (msg.size() < TV_HDR_LEN) return;
    const auto vfo = static_cast<std::uint16_t>((h.hdr_version & 0xF) << 12 |
                                                (h.hdr_format & 0x3F) << 6 | (h.hdr_option & 0x3F));
    wire::put_be16(msg, 0, vfo);
    wire::put_u8(msg, off::status, h.hdr_status);
    wire::put_u8(msg, 3, 0);
    wire::put_u8(msg, 4, 0);
    wire::put_be24(msg, off::dest, h.hdr_dest);
    wire::put_be16(msg, off::command, h.hdr_command);
    wire::put_be16(msg, off::length, h.hdr_length);
    wire::put_be32(msg, off::seq, h.hdr_seq);
}

std::uint32_t byte_sum(wire::cbytes bytes) {
    std::uint32_t sum = 0;
    for (const std::uint8_t b : bytes) sum += b;
    return sum;
}

std::uint32_t set_checksum(wire::bytes msg) {
    if (msg.size() < TV_CHKSUM_LEN) return 0;
    const std::size_t at = msg.size() - TV_CHKSUM_LEN;
    const std::uint32_t sum = byte_sum(msg.first(at));
    wire::put_be32(msg, at, sum);
    return sum;
}

bool checksum_ok(wire::cbytes msg) {
    if (msg.size() < TV_CHKSUM_LEN) return false;
    const std::size_t at = msg.size() - TV_CHKSUM_LEN;
    return wire::get_be32(msg, at) == byte_sum(msg.first(at));
}

}  // namespace tv
