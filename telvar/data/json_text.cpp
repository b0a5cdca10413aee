// Writers of JSON text (see json_text.h).
#include "telvar/data/json_text.h"

#include <charconv>

namespace telvar::json {

namespace {

constexpr char hex_digits[] = "0123456789abcdef";

void put_decimal(std::string& out, std::uint32_t v) {
    char digits[12];
    const auto end = std::to_chars(digits, digits + sizeof digits, v).ptr;
    out.append(digits, end);
}

// Whether nlohmann-json writes the text as it is: printable ASCII with nothing to escape.
bool plain(std::string_view text) {
    for (const char c : text) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 0x20 || b >= 0x80 || c == '"' || c == '\\') return false;
    }
    return true;
}

}  // namespace

void put_hex_pairs(std::string& out, const std::uint8_t* bytes, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) {
        if (i > 0) out += ':';
        out += hex_digits[bytes[i] >> 4];
        out += hex_digits[bytes[i] & 0xF];
    }
}

void put_string(std::string& out, std::string_view text) {
    if (!plain(text)) {
        // Escapes and bytes that are not UTF-8 are rare: nlohmann-json's own serializer says
        // how they are written.
        put_value(out, nlohmann::json(std::string(text)));
        return;
    }
    out += '"';
    out += text;
    out += '"';
}

void put_int(std::string& out, std::int64_t v) {
    char digits[24];
    const auto end = std::to_chars(digits, digits + sizeof digits, v).ptr;
    out.append(digits, end);
}

void put_bool(std::string& out, bool v) { out += v ? "true" : "false"; }

void put_wwn(std::string& out, const std::uint8_t* wwn) {
    out += '"';
    put_hex_pairs(out, wwn, 8);
    out += '"';
}

void put_fc_address(std::string& out, std::uint32_t address) {
    out += "\"0x";
    for (int shift = 20; shift >= 0; shift -= 4) out += hex_digits[(address >> shift) & 0xF];
    out += '"';
}

void put_ipv4(std::string& out, std::uint32_t a) {
    out += '"';
    for (int shift = 24; shift >= 0; shift -= 8) {
        put_decimal(out, (a >> shift) & 0xFF);
        if (shift > 0) out += '.';
    }
    out += '"';
}

void put_value(std::string& out, const nlohmann::json& value) {
    out += value.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

std::string& object_text::key(std::string_view name) {
    out_ += first_ ? "\"" : ",\"";
    first_ = false;
    out_ += name;
    out_ += "\":";
    return out_;
}

void put_head(std::string& out, const nlohmann::json& value, std::string_view key) {
    out += '{';
    for (auto it = value.begin(); it != value.end() && it.key() < key; ++it) {
        out += '"';
        out += it.key();
        out += "\":";
        put_value(out, it.value());
        out += ',';
    }
    out += '"';
    out += key;
    out += "\":";
}

void put_tail(std::string& out, const nlohmann::json& value, std::string_view key) {
    for (auto it = value.begin(); it != value.end(); ++it) {
        if (it.key() < key) continue;
        out += ",\"";
        out += it.key();
        out += "\":";
        put_value(out, it.value());
    }
    out += '}';
}

}  // namespace telvar::json
