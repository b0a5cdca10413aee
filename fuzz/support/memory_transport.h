// The switch of the fuzz harnesses that run the library's exchanges: a transport linked in
// place of the library's own (tv_api/transport.cpp), which sends nothing and takes its answers
// from the fuzz input. The exchange, the listening and every check of strict and lenient mode
// run as they do for everyone; only the socket is replaced, and no call waits.
//
// The answers are a script of records, taken in order, one per datagram read:
//
//     [control] [length: 2 bytes, big-endian] [bytes of the datagram]
//
// and the control byte says how the datagram is finished before it is read, as a switch (or a
// bad network) would have sent it:
//     bits 0-3  the sequence number: the last request's plus this signed nibble (-8 to 7), so
//               that 0 answers the request and anything else is an old or a future answer
//     bit 4     the sequence number as written in the record instead
//     bit 5     the command and the fields the answer repeats copied from the request
//     bit 6     the length field and the checksum made right
//     bit 7     sent from another port of the switch's address
// A record cut short by the end of the input is taken as it is. When the script has run dry,
// every wait times out at once.
//
// A live switch may stand in for the script (to write seeds): each request is answered at once
// by it, and its answer becomes a record of a script that is read exactly as a given one.
#pragma once

#include <netinet/in.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <vector>

namespace fuzz {

namespace answer {
inline constexpr std::uint8_t sequence_delta = 0x0F;
inline constexpr std::uint8_t raw_sequence = 0x10;
inline constexpr std::uint8_t as_the_switch = 0x20;
inline constexpr std::uint8_t well_formed = 0x40;
inline constexpr std::uint8_t other_port = 0x80;
}  // namespace answer

// The answers of the run about to start (the bytes must outlive it); forgets the last request.
void script_answers(std::span<const std::uint8_t> script);

// Called when a listen finds the script dry, before it times out (null: nothing).
void on_dry_listen(void (*hook)());

// The switch at an address answering a request, or nothing for silence.
using live_switch =
    std::function<std::optional<std::vector<std::uint8_t>>(in_addr_t to, std::span<const std::uint8_t> request)>;

// While `answering` is set, script_answers ignores its script and each request sent is answered
// by `answering` instead, as a record that finishes nothing (as_the_switch | well_formed).
void answer_live(live_switch answering);

// In live mode, the records read since script_answers, up to the first wait that found none: a
// script that a given run replays as it ran, up to that silence, which the end of a script
// stands for (a silence in the middle of a script cannot be written).
struct live_script {
    std::span<const std::uint8_t> bytes;
    std::size_t records = 0;
};
live_script live_script_read();

// Datagrams sent, answers taken, and waits for an answer (not those of a listen) that found
// the script dry, since script_answers.
std::size_t requests_sent();
std::size_t answers_taken();
std::size_t silent_waits();

}  // namespace fuzz
