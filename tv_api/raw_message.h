// The reader of raw message files, apart from the I/O so that it can be tested and fuzzed.
#pragma once

#include <cstddef>
#include <cstdio>

#include "proto/wire.h"

namespace tv {

// The longest line the reader takes whole, in characters before the newline.
inline constexpr std::size_t message_line_len = 79;

// Reads one hexadecimal word per line into `msg` (zero-filled first), leaving room for the
// checksum in its last 4 bytes. Lines that do not begin with a hexadecimal digit are skipped;
// lines are read up to 79 characters. Returns the number of words, or -1 when the file holds
// more words than fit.
int read_message_words(std::FILE* in, wire::bytes msg);

}  // namespace tv
