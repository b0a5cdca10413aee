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
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

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

// Datagrams sent and answers taken since script_answers.
std::size_t requests_sent();
std::size_t answers_taken();

}  // namespace fuzz
