// Text management requests: a get (command 0x400) or a set (command 0x401) carries a command
// line as text from offset 16, NUL-terminated and NUL-padded to a multiple of 4; the answer
// carries text from offset 16 too: a get's value, optionally followed by "#" and a hexadecimal
// result code, or a set's "#" and result code. Shared by the operations, the decoder, the
// simulator's handlers and the fuzz harness.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tv::layout::sml {

inline constexpr std::uint16_t get_command = 0x400;
inline constexpr std::uint16_t set_command = 0x401;

// Requests and answers are held in buffers of 1492 bytes; a request's padded text is at most
// 1472 bytes of them.
inline constexpr std::size_t msg_len = 1492;
inline constexpr std::size_t text_at = 16;
inline constexpr std::size_t max_padded = 1472;

// The answer text is cut this many bytes after the payload length field's value (13 + L):
// three bytes before the end of a message of 16 + L bytes.
inline constexpr std::size_t cut_after_length = 13;

inline constexpr char code_mark = '#';

// The room a text of `n` characters takes: rounded up to a multiple of 4, always leaving at
// least one NUL (4 characters take 8 bytes, 3 take 4, none take 4).
constexpr std::size_t padded_len(std::size_t n) { return (n / 4 + 1) * 4; }

// The shortest answer: a header, the shortest padded text and the checksum.
inline constexpr std::size_t min_answer = text_at + padded_len(0) + 4;

}  // namespace tv::layout::sml
