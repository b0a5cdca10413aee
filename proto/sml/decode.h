// The readers of text management answers (sml_layout.h), apart from the I/O so that the fuzz
// harness can drive them with arbitrary bytes. They only look at the answer: the text they
// return is a view into it, never longer than the message.
#pragma once

#include <cstdint>
#include <string_view>

#include "proto/wire.h"

namespace tv {

// The answer text of a response: from offset 16 to its first NUL, cut at offset 13 + L where L
// is the payload length field; a cut that falls outside the message falls at its last byte.
std::string_view sml_answer_text(wire::cbytes resp);

// A hexadecimal number as the C library's strtol reads it in base 16 (leading blanks, a sign,
// an optional 0x), stopping at the first other character; no digits read as 0. Values beyond
// the 32-bit range saturate, as a 32-bit long does.
std::int32_t sml_hex(std::string_view text);

struct sml_get_answer {
    std::int32_t status;     // 0, or 200 for an answer shorter than 2 characters
    std::string_view value;  // the text before the first "#", or the whole text
    std::int32_t code;       // the number after "#", or 0
};
sml_get_answer parse_sml_get(std::string_view text);

struct sml_set_answer {
    std::int32_t status;  // 0, or 200 unless the answer is "#" and a code
    std::int32_t code;
};
sml_set_answer parse_sml_set(std::string_view text);

}  // namespace tv
