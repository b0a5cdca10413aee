// Messages of chassis-wide commands. The reset message is the one request without a checksum
// word: a bare 16-byte header (command 0x0F, length field 0) whose last word, where the
// sequence number would be, carries the checksum of bytes 0 to 11. Shared by the operation and
// the simulator's handler.
#pragma once

#include <cstddef>

namespace tv::layout::chassis {

inline constexpr std::size_t reset_len = 16;
inline constexpr std::size_t reset_checksum_at = 12;

}  // namespace tv::layout::chassis
