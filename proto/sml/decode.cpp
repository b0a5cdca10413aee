// Reading text management answers: where the text ends, and the "#" code after it.
#include "proto/sml/decode.h"

#include <algorithm>
#include <cstdint>

#include "proto/header.h"
#include "proto/sml/layout.h"

namespace tv {

namespace {

namespace L = layout::sml;

int hex_digit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool is_blank(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

}  // namespace

std::string_view sml_answer_text(wire::cbytes resp) {
    if (resp.size() <= L::text_at) return {};
    const std::size_t last = resp.size() - 1;
    const std::size_t cut = std::min<std::size_t>(L::cut_after_length + wire::get_be16(resp, off::length), last);
    // A cut inside the header does not end the text; the last byte of the buffer still does,
    // so that a text without NUL is never read past the message.
    const std::size_t end = cut >= L::text_at ? cut : last;
    const auto* first = reinterpret_cast<const char*>(resp.data()) + L::text_at;
    const std::string_view room{first, end - L::text_at};
    return room.substr(0, room.find('\0'));
}

std::int32_t sml_hex(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && is_blank(text[i])) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    // "0x" counts as a prefix only when a digit follows; otherwise the 0 is the number.
    if (i + 2 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X') &&
        hex_digit(text[i + 2]) >= 0)
        i += 2;
    constexpr std::int64_t limit = std::int64_t{INT32_MAX} + 1;
    std::int64_t magnitude = 0;
    for (; i < text.size() && hex_digit(text[i]) >= 0; ++i)
        magnitude = std::min(magnitude * 16 + hex_digit(text[i]), limit);
    const std::int64_t v = negative ? -magnitude : magnitude;
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(v, INT32_MIN, INT32_MAX));
}

sml_get_answer parse_sml_get(std::string_view text) {
    if (text.size() < 2) return {TV_ERR_SWITCH, {}, 0};
    const std::size_t mark = text.find(L::code_mark);
    if (mark == std::string_view::npos) return {TV_OK, text, 0};
    return {TV_OK, text.substr(0, mark), sml_hex(text.substr(mark + 1))};
}

sml_set_answer parse_sml_set(std::string_view text) {
    if (text.size() < 2 || text.front() != L::code_mark) return {TV_ERR_SWITCH, 0};
    return {TV_OK, sml_hex(text.substr(1))};
}

}  // namespace tv
