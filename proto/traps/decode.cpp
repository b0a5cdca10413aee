// Readers and writers of trap messages, configuration blocks and listener tables. They take the
// message as a span and go through wire.h, so a short or hostile message reads as zeros instead
// of past its end.
#include "proto/traps/decode.h"

#include <arpa/inet.h>

#include <algorithm>

#include "proto/header.h"

namespace tv {

namespace {

namespace B = layout::traps::block;
namespace E = layout::traps::event_msg;
namespace T = layout::traps::table_msg;

std::size_t rising_at(std::size_t code) { return B::rising + 4 * code; }
std::size_t falling_at(std::size_t code) { return B::falling + 4 * code; }

}  // namespace

tv_trap_config decode_trap_config(wire::cbytes block, std::uint8_t code) {
    tv_trap_config c{};
    if (code >= B::codes) return c;
    c.code = code;
    c.status = wire::get_u8(block, B::status + code);
    c.rising = static_cast<std::int32_t>(wire::get_be32(block, rising_at(code)));
    c.falling = static_cast<std::int32_t>(wire::get_be32(block, falling_at(code)));
    return c;
}

bool encode_trap_config(wire::bytes block, const tv_trap_config& config) {
    if (config.code >= B::codes) return false;
    wire::put_u8(block, B::status + config.code, config.status);
    wire::put_be32(block, falling_at(config.code), static_cast<std::uint32_t>(config.falling));
    wire::put_be32(block, rising_at(config.code), static_cast<std::uint32_t>(config.rising));
    return true;
}

tv_trapping_status decode_trapping(wire::cbytes block) {
    tv_trapping_status s{};
    s.enabled = wire::get_u8(block, B::trapping);
    s.interval = static_cast<std::int32_t>(wire::get_be32(block, B::interval));
    return s;
}

void encode_trapping(wire::bytes block, const tv_trapping_status& status) {
    wire::put_be32(block, B::interval, static_cast<std::uint32_t>(status.interval));
    wire::put_u8(block, B::trapping, status.enabled);
}

tv_trap_event decode_trap_event(wire::cbytes msg) {
    tv_trap_event e{};
    const bool reaches_source = wire::get_be16(msg, off::length) >= E::source_len;
    e.source = reaches_source ? wire::get_be32(msg, E::source) & 0xFFFFFFu : wire::get_be24(msg, off::dest);
    e.code = wire::get_u8(msg, E::code);
    e.alert = wire::get_u8(msg, E::alert);
    e.value = static_cast<std::int32_t>(wire::get_be32(msg, E::value));
    e.change = static_cast<std::int32_t>(wire::get_be32(msg, E::change));
    e.unit = wire::get_u8(msg, E::unit);
    return e;
}

void encode_trap_event(wire::bytes msg, const tv_trap_event& event) {
    wire::put_u8(msg, E::unit, event.unit);
    wire::put_u8(msg, E::code, event.code);
    wire::put_u8(msg, E::alert, event.alert);
    wire::put_be32(msg, E::value, static_cast<std::uint32_t>(event.value));
    wire::put_be32(msg, E::change, static_cast<std::uint32_t>(event.change));
    wire::put_be32(msg, E::source, event.source & 0xFFFFFFu);
}

std::size_t trap_listener_count(wire::cbytes resp) {
    // Entries must lie between offset 24 and the checksum of what arrived.
    const std::size_t end = std::min(resp.size(), T::ret_len) - std::min(resp.size(), std::size_t{4});
    const std::size_t room = end > T::entries_at ? (end - T::entries_at) / T::entry_len : 0;
    return std::min<std::size_t>({wire::get_be32(resp, T::count_at), T::max_entries, room});
}

trap_listener_entry trap_listener_at(wire::cbytes resp, std::size_t i) {
    const std::size_t at = T::entries_at + i * T::entry_len;
    return {htonl(wire::get_be32(resp, at + T::addr)), wire::get_be16(resp, at + T::port)};
}

bool encode_trap_listener(wire::bytes resp, std::size_t i, const trap_listener_entry& entry) {
    if (i >= T::max_entries) return false;
    const std::size_t at = T::entries_at + i * T::entry_len;
    wire::put_be32(resp, at + T::addr, ntohl(entry.addr));
    wire::put_be16(resp, at + T::port, entry.port);
    return true;
}

}  // namespace tv
