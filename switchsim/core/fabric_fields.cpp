#include "switchsim/core/fabric_fields.h"

#include <algorithm>
#include <cctype>
#include <nlohmann/json.hpp>

namespace sim {

namespace {

using nlohmann::json;

const json& node(const void* p) { return *static_cast<const json*>(p); }

std::string list_of(std::initializer_list<std::pair<std::string_view, std::uint8_t>> names) {
    std::string out;
    for (const auto& n : names) out += (out.empty() ? "" : ", ") + std::string(n.first);
    return out;
}

}  // namespace

// The document itself has an empty path and is called "fabric" in messages.
void fields::fail(const std::string& why) const {
    throw fabric_error((where_.empty() ? "fabric" : where_) + ": " + why);
}

bool fields::has(std::string_view key) const {
    const json& j = node(node_);
    return j.is_object() && j.find(key) != j.end();
}

fields fields::at(std::string_view key) const {
    const json& j = node(node_);
    const std::string path = where_.empty() ? std::string(key) : where_ + "." + std::string(key);
    if (!j.is_object()) fail("expected an object");
    const auto it = j.find(key);
    if (it == j.end()) throw fabric_error(path + ": missing");
    return fields(&*it, path);
}

void fields::expect_object(std::span<const std::span<const std::string_view>> allowed) const {
    const json& j = node(node_);
    if (!j.is_object()) fail("expected an object");
    for (const auto& [key, value] : j.items()) {
        bool known = false;
        for (const auto& keys : allowed) known = known || std::ranges::find(keys, key) != keys.end();
        if (!known) fail("unknown field '" + key + "'");
    }
}

std::size_t fields::list_size() const {
    const json& j = node(node_);
    if (!j.is_array()) fail("expected a list");
    return j.size();
}

void fields::each(const std::function<void(const fields&, std::size_t)>& f) const {
    const json& j = node(node_);
    if (!j.is_array()) fail("expected a list");
    for (std::size_t i = 0; i < j.size(); ++i)
        f(fields(&j[i], where_ + "[" + std::to_string(i) + "]"), i);
}

std::uint64_t fields::as_number(std::uint64_t max) const {
    const json& j = node(node_);
    std::uint64_t v = 0;
    if (j.is_number_unsigned()) {
        v = j.get<std::uint64_t>();
    } else if (j.is_string()) {
        const std::string t = j.get<std::string>();
        std::size_t used = 0;
        // stoull accepts a sign and blanks; a number here is digits only.
        const bool plain = !t.empty() && std::isxdigit(static_cast<unsigned char>(t[0]));
        try {
            if (plain) v = std::stoull(t, &used, 0);
        } catch (const std::exception&) {
            used = 0;
        }
        if (used == 0 || used != t.size()) fail("'" + t + "' is not a number");
    } else if (j.is_number()) {
        fail("expected a whole number from 0 to " + std::to_string(max));
    } else {
        fail("expected a number");
    }
    if (v > max) fail(std::to_string(v) + " is above " + std::to_string(max));
    return v;
}

std::int64_t fields::as_integer(std::int64_t min, std::int64_t max) const {
    const json& j = node(node_);
    if (!j.is_number_integer())
        fail("expected a whole number from " + std::to_string(min) + " to " + std::to_string(max));
    // A number beyond 64 bits arrives as unsigned; anything above max is refused alike.
    if (j.is_number_unsigned() && j.get<std::uint64_t>() > static_cast<std::uint64_t>(max))
        fail(j.dump() + " is above " + std::to_string(max));
    const std::int64_t v = j.get<std::int64_t>();
    if (v < min || v > max)
        fail(std::to_string(v) + " is outside " + std::to_string(min) + " to " + std::to_string(max));
    return v;
}

bool fields::as_bool() const {
    const json& j = node(node_);
    if (!j.is_boolean()) fail("expected true or false");
    return j.get<bool>();
}

std::string fields::as_text(std::size_t max_len) const {
    const json& j = node(node_);
    if (!j.is_string() || j.get_ref<const std::string&>().size() > max_len)
        fail("expected a text of at most " + std::to_string(max_len) + " characters");
    return j.get<std::string>();
}

void fields::as_hex(std::span<std::uint8_t> out) const {
    const json& j = node(node_);
    std::string t = j.is_string() ? j.get<std::string>() : std::string();
    std::erase(t, ':');
    const std::string expected = "expected " + std::to_string(2 * out.size()) + " hexadecimal digits";
    if (t.size() != 2 * out.size()) fail(expected);
    for (std::size_t i = 0; i < out.size(); ++i) {
        const char hi = t[2 * i], lo = t[2 * i + 1];
        if (!std::isxdigit(static_cast<unsigned char>(hi)) || !std::isxdigit(static_cast<unsigned char>(lo)))
            fail(expected);
        out[i] = static_cast<std::uint8_t>(std::stoul(t.substr(2 * i, 2), nullptr, 16));
    }
}

std::uint8_t fields::as_code(
    std::initializer_list<std::pair<std::string_view, std::uint8_t>> names) const {
    const json& j = node(node_);
    if (j.is_string())
        for (const auto& [name, code] : names)
            if (j.get_ref<const std::string&>() == name) return code;
    fail("expected one of " + list_of(names));
}

}  // namespace sim
