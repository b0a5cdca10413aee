// The trap receiver (see trap_receiver.h).
#include "telvard/events/trap_receiver.h"

#include <arpa/inet.h>
#include <sys/socket.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <stdexcept>

#include "proto/header.h"
#include "proto/traps/decode.h"
#include "telvard/events/trap_text.h"
#include "tv_api/unsolicited.h"

namespace telvar::events {

namespace {

constexpr std::array<const char*, refusal_kinds> refusal_texts{
    "from an address not watched", "all zero", "not a whole trap message",
    "with an error status", "from a switch not of its fabric"};

// Datagrams are read whole up to this size, so that the length field is checked against what
// really arrived; a longer one is no trap message.
constexpr std::size_t room = 2048;

// "0x104000" (or without 0x); nullopt for anything that is not a 24-bit hexadecimal number.
std::optional<std::uint32_t> fc_address_of(const std::string& text) {
    const char* s = text.c_str();
    if (std::strncmp(s, "0x", 2) == 0 || std::strncmp(s, "0X", 2) == 0) s += 2;
    if (*s == '\0' || std::strlen(s) > 6) return std::nullopt;
    char* end = nullptr;
    const unsigned long v = std::strtoul(s, &end, 16);
    if (*end != '\0' || !std::isxdigit(static_cast<unsigned char>(*s))) return std::nullopt;
    return static_cast<std::uint32_t>(v);
}

std::string sender_text(const sockaddr_in& from) {
    char text[INET_ADDRSTRLEN] = "";
    inet_ntop(AF_INET, &from.sin_addr, text, sizeof text);
    return std::string(text) + ":" + std::to_string(ntohs(from.sin_port));
}

}  // namespace

std::string describe(const refusal_counts& refused) {
    std::uint64_t total = 0;
    std::string parts;
    for (std::size_t i = 0; i < refusal_kinds; ++i) {
        if (refused[i] == 0) continue;
        total += refused[i];
        parts += (parts.empty() ? "" : ", ") + std::to_string(refused[i]) + " " + refusal_texts[i];
    }
    if (total == 0) return "";
    return std::to_string(total) + (total == 1 ? " datagram" : " datagrams") + " refused: " + parts;
}

trap_receiver::trap_receiver(const receiver_options& o) {
    local_.sin_family = AF_INET;
    local_.sin_port = htons(o.port);
    if (inet_pton(AF_INET, o.address.c_str(), &local_.sin_addr) != 1)
        throw std::runtime_error("trap receiver: \"" + sanitized(o.address) + "\" is not an IPv4 address");
    sock_.reset(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    if (!sock_) throw std::runtime_error(std::string("trap receiver: socket: ") + std::strerror(errno));
    if (::bind(sock_.get(), reinterpret_cast<const sockaddr*>(&local_), sizeof local_) != 0)
        throw std::runtime_error("trap receiver: cannot bind " + o.address + ":" + std::to_string(o.port) +
                                 ": " + std::strerror(errno));
    socklen_t len = sizeof local_;
    ::getsockname(sock_.get(), reinterpret_cast<sockaddr*>(&local_), &len);
}

void trap_receiver::watch(const std::string& fabric, in_addr gateway, std::vector<history::switch_ref> switches,
                          const std::vector<in_addr>& switch_addresses) {
    fabric_watch w;
    for (const history::switch_ref& s : switches)
        // A switch whose address is not known cannot be matched; it is kept out of the list.
        if (const auto fc = fc_address_of(s.fc_address)) {
            w.fc.push_back(*fc);
            w.switches.push_back(s);
        }
    w.senders.push_back(gateway.s_addr);
    for (const in_addr a : switch_addresses) w.senders.push_back(a.s_addr);
    fabrics_[fabric] = std::move(w);
    index_senders();
}

void trap_receiver::forget(const std::string& fabric) {
    fabrics_.erase(fabric);
    index_senders();
}

void trap_receiver::index_senders() {
    by_sender_.clear();
    for (const auto& [name, w] : fabrics_)
        for (const in_addr_t a : w.senders) by_sender_[a] = &name;
}

std::vector<history::event_row> trap_receiver::take(history::time_ms now, std::size_t at_most) {
    std::vector<history::event_row> taken;
    std::array<std::uint8_t, room> buf;
    for (std::size_t i = 0; i < at_most; ++i) {
        sockaddr_in from{};
        socklen_t from_len = sizeof from;
        // MSG_TRUNC: the datagram's whole length, also when it is longer than the buffer.
        const ssize_t got = ::recvfrom(sock_.get(), buf.data(), buf.size(), MSG_DONTWAIT | MSG_TRUNC,
                                       reinterpret_cast<sockaddr*>(&from), &from_len);
        if (got < 0) {
            if (errno == EINTR) continue;
            break;  // EAGAIN: nothing more is waiting; anything else is no datagram either
        }
        const auto length = static_cast<std::size_t>(got);
        if (auto row = judge(from, {buf.data(), std::min(length, room)}, length, now)) taken.push_back(std::move(*row));
    }
    return taken;
}

std::optional<history::event_row> trap_receiver::judge(const sockaddr_in& from, tv::wire::cbytes msg,
                                                       std::size_t length, history::time_ms now) {
    const auto refuse = [&](refusal why) {
        ++refused_[static_cast<std::size_t>(why)];
        return std::nullopt;
    };
    const auto sender = by_sender_.find(from.sin_addr.s_addr);
    if (from.sin_family != AF_INET || sender == by_sender_.end()) return refuse(refusal::unknown_sender);
    if (std::all_of(msg.begin(), msg.end(), [](std::uint8_t b) { return b == 0; })) return refuse(refusal::all_zero);
    if (tv::whole_message_fault(length, msg, TV_CMD_TRAP) != tv::message_fault::none)
        return refuse(refusal::malformed);
    if (tv::status_from_byte(msg[tv::off::status]) != TV_OK) return refuse(refusal::bad_status);
    const tv_trap_event e = tv::decode_trap_event(msg);
    const std::string& fabric = *sender->second;
    const fabric_watch& w = fabrics_.at(fabric);
    const auto at = std::find(w.fc.begin(), w.fc.end(), e.source);
    if (at == w.fc.end()) return refuse(refusal::unknown_source);
    history::event_row row;
    row.at = now;
    row.fabric = fabric;
    row.sw = w.switches[static_cast<std::size_t>(at - w.fc.begin())];
    row.sender = sender_text(from);
    row.unit = e.unit;
    row.code = e.code;
    row.alert = e.alert;
    row.value = e.value;
    row.change = e.change;
    row.description = trap_description(e.code);
    return row;
}

}  // namespace telvar::events
