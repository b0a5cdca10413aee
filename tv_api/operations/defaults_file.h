// The switch defaults file, parsed apart from any I/O so that a fuzz harness can drive it.
//
// A defaults file is text, read in pieces of at most 78 characters: a piece ends after a
// newline or at 78 characters, so a longer line is read as several pieces, each treated as a
// line. A piece is considered only when its first character is a letter. It is split into
// tokens at space, tab, '=', newline and ','; the first token is the key (compared without
// regard to case), the next its value; the per-port keys read further tokens for the next
// ports. Keys that are not in the table are ignored, and so is a key without a value.
//
// The parser edits two staging messages in place: the network-settings message (44 bytes,
// netconfig_layout.h) and the configuration-parameter message (116 bytes, chassis_layout.h).
// It never reads or writes outside them; the message bytes that no key names stay as they are.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "proto/wire.h"

namespace tv::defaults {

inline constexpr std::size_t piece_len = 78;
// What separates the tokens of a line.
inline constexpr std::string_view separators = " \t=\n,";

// Bits of the change word.
inline constexpr std::uint32_t changed_network = 1;
inline constexpr std::uint32_t changed_params = 2;

struct staging {
    wire::bytes net;     // a network-settings message
    wire::bytes params;  // a configuration-parameter message
};

// What one piece did.
enum class verdict {
    skipped,      // empty, or not beginning with a letter
    applied,      // a key of the table with its value (part_number included)
    unknown_key,
    no_value,     // a key of the table without a value: ignored
    flash,        // a firmware file to load: `value` names it
};

struct piece_outcome {
    verdict what = verdict::skipped;
    std::string_view key;    // as written in the file
    std::string_view value;  // the first value token
    // Set when the value is not what the key expects (it is still used as the key's rule says:
    // 0 for a number, 255.255.255.255 for an address, nothing for an assignment mode), or when
    // a per-port list is longer than the switch has ports.
    std::string warning;
};

// The length of the next piece of `rest`: through its first newline, at most piece_len bytes.
std::size_t next_piece(std::string_view rest);

// A piece as a line: cut at its first NUL byte, as a C string of it would be.
std::string_view as_line(std::string_view piece);

// Applies one piece to the staging messages and sets the bits of `changed` that its key names.
piece_outcome apply_piece(std::string_view piece, const staging& s, std::uint32_t& changed);

}  // namespace tv::defaults
