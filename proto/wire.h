// The one place where fields of a message are read and written.
//
// Every multi-byte field on the wire is big-endian. The accessors take the whole message as a
// span and an offset from its first byte; a field that does not lie entirely inside the span
// reads as 0 and is not written, so nothing a switch sends can move an access outside a buffer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <string_view>

namespace tv::wire {

using bytes = std::span<std::uint8_t>;
using cbytes = std::span<const std::uint8_t>;

constexpr bool fits(cbytes m, std::size_t off, std::size_t n) {
    return off <= m.size() && n <= m.size() - off;
}

constexpr std::uint8_t get_u8(cbytes m, std::size_t off) { return fits(m, off, 1) ? m[off] : 0; }

constexpr std::uint16_t get_be16(cbytes m, std::size_t off) {
    if (!fits(m, off, 2)) return 0;
    return static_cast<std::uint16_t>(m[off] << 8 | m[off + 1]);
}

constexpr std::uint32_t get_be24(cbytes m, std::size_t off) {
    if (!fits(m, off, 3)) return 0;
    return std::uint32_t{m[off]} << 16 | std::uint32_t{m[off + 1]} << 8 | m[off + 2];
}

constexpr std::uint32_t get_be32(cbytes m, std::size_t off) {
    if (!fits(m, off, 4)) return 0;
    return std::uint32_t{m[off]} << 24 | std::uint32_t{m[off + 1]} << 16 |
           std::uint32_t{m[off + 2]} << 8 | m[off + 3];
}

constexpr void put_u8(bytes m, std::size_t off, std::uint8_t v) {
    if (fits(m, off, 1)) m[off] = v;
}

constexpr void put_be16(bytes m, std::size_t off, std::uint16_t v) {
    if (!fits(m, off, 2)) return;
    m[off] = static_cast<std::uint8_t>(v >> 8);
    m[off + 1] = static_cast<std::uint8_t>(v);
}

constexpr void put_be24(bytes m, std::size_t off, std::uint32_t v) {
    if (!fits(m, off, 3)) return;
    m[off] = static_cast<std::uint8_t>(v >> 16);
    m[off + 1] = static_cast<std::uint8_t>(v >> 8);
    m[off + 2] = static_cast<std::uint8_t>(v);
}

constexpr void put_be32(bytes m, std::size_t off, std::uint32_t v) {
    if (!fits(m, off, 4)) return;
    m[off] = static_cast<std::uint8_t>(v >> 24);
    m[off + 1] = static_cast<std::uint8_t>(v >> 16);
    m[off + 2] = static_cast<std::uint8_t>(v >> 8);
    m[off + 3] = static_cast<std::uint8_t>(v);
}

// Copies `n` raw bytes out of the message; bytes beyond its end read as 0.
inline void get_bytes(cbytes m, std::size_t off, void* out, std::size_t n) {
    auto* dst = static_cast<std::uint8_t*>(out);
    for (std::size_t i = 0; i < n; ++i) dst[i] = get_u8(m, off + i);
}

inline void put_bytes(bytes m, std::size_t off, const void* in, std::size_t n) {
    if (!fits(m, off, n)) return;
    if (n) std::memcpy(m.data() + off, in, n);
}

// A fixed-width text field: at most `width` characters of `text`, zero-padded; a text of exactly
// `width` characters has no terminator.
inline void put_text(bytes m, std::size_t off, std::size_t width, std::string_view text) {
    if (!fits(m, off, width)) return;
    const std::size_t n = text.size() < width ? text.size() : width;
    std::memset(m.data() + off, 0, width);
    if (n) std::memcpy(m.data() + off, text.data(), n);
}

// A zero-terminated text field of `width` bytes copied into `out` (room `width`): the text up to
// its zero, or cut to width - 1 characters and terminated when it has none.
inline void get_text(cbytes m, std::size_t off, std::size_t width, char* out) {
    if (width == 0) return;
    std::size_t i = 0;
    for (; i + 1 < width; ++i) {
        out[i] = static_cast<char>(get_u8(m, off + i));
        if (out[i] == '\0') return;
    }
    out[i] = '\0';
}

}  // namespace tv::wire
