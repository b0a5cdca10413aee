// JSON text written straight into a string, in exactly the compact form nlohmann-json dumps
// (members in key order, no blanks, texts that are not UTF-8 with U+FFFD in place of the bad
// bytes). The records a snapshot holds by the thousand (name-server objects, the devices of
// loops, the ports) are written with these, without building a JSON value for each; where a
// command wants such a record as a value, it parses the text (json_records.h), so that each
// record has one writer.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

namespace telvar::json {

// Bytes as lower-case hex pairs joined by colons, unquoted.
void put_hex_pairs(std::string& out, const std::uint8_t* bytes, std::size_t n);
// A JSON string of any bytes.
void put_string(std::string& out, std::string_view text);
void put_int(std::string& out, std::int64_t v);
void put_bool(std::string& out, bool v);
// The value forms of json_records.h, quoted.
void put_wwn(std::string& out, const std::uint8_t* wwn);
void put_fc_address(std::string& out, std::uint32_t address);
void put_ipv4(std::string& out, std::uint32_t address_high_first);
// A JSON value as nlohmann-json dumps it, texts that are not UTF-8 replaced.
void put_value(std::string& out, const nlohmann::json& value);

// The members of one object; the caller gives them in key order (the order nlohmann-json
// writes them in, which the tests hold the writers to).
class object_text {
public:
    explicit object_text(std::string& out) : out_(out) { out_ += '{'; }
    object_text(const object_text&) = delete;
    object_text& operator=(const object_text&) = delete;
    ~object_text() { out_ += '}'; }

    // Writes the key of the next member; its value is written next, into the same string.
    std::string& key(std::string_view name);

private:
    std::string& out_;
    bool first_ = true;
};

// `value` (an object) as nlohmann-json dumps it, with one more member `key` whose value the
// caller writes between the two parts, so that a long member can be written piece by piece:
// put_head writes the members before it and its key, put_tail the members after it and the
// closing brace. `value` has no member `key` of its own.
void put_head(std::string& out, const nlohmann::json& value, std::string_view key);
void put_tail(std::string& out, const nlohmann::json& value, std::string_view key);

}  // namespace telvar::json
