// Reading the fields of a fabric file: a view of one JSON value and the path that leads to it,
// with typed readers that check every value against the range the protocol can carry. Every
// failure throws fabric_error with a message that starts with the field's path
// ("switches[1].ports[3].type: expected one of F, FL, T, SL, TL").
//
// The JSON library stays behind this interface, so a family's reader needs only this header.
#pragma once

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>

namespace sim {

struct fabric_error : std::runtime_error {
    using std::runtime_error::runtime_error;
};

class fields {
public:
    // `node` is a nlohmann::json value that outlives the view.
    fields(const void* node, std::string where) : node_(node), where_(std::move(where)) {}

    const std::string& where() const { return where_; }
    [[noreturn]] void fail(const std::string& why) const;

    // Members of an object.
    bool has(std::string_view key) const;
    fields at(std::string_view key) const;  // the member, which must exist
    // Fails unless this is an object whose members are all among the allowed ones (one list, or
    // several lists).
    void expect_object(std::span<const std::string_view> allowed) const {
        expect_object(std::span<const std::span<const std::string_view>>(&allowed, 1));
    }
    void expect_object(std::span<const std::span<const std::string_view>> allowed) const;

    // Lists: the number of elements, and a view of each with its index in the path.
    std::size_t list_size() const;
    void each(const std::function<void(const fields& element, std::size_t index)>& f) const;

    // The value itself. Numbers may be JSON numbers or texts in decimal or 0x-hexadecimal.
    std::uint64_t as_number(std::uint64_t max) const;
    std::int64_t as_integer(std::int64_t min, std::int64_t max) const;  // JSON numbers only
    bool as_bool() const;
    std::string as_text(std::size_t max_len) const;
    void as_hex(std::span<std::uint8_t> out) const;  // hex digits, colons allowed
    std::uint8_t as_code(std::initializer_list<std::pair<std::string_view, std::uint8_t>> names) const;

    // Optional members: read into `out` when present, left alone otherwise.
    template <class T>
    void number(std::string_view key, T& out, std::uint64_t max) const {
        if (has(key)) out = static_cast<T>(at(key).as_number(max));
    }
    void boolean(std::string_view key, bool& out) const {
        if (has(key)) out = at(key).as_bool();
    }
    void text(std::string_view key, std::string& out, std::size_t max_len) const {
        if (has(key)) out = at(key).as_text(max_len);
    }
    void hex(std::string_view key, std::span<std::uint8_t> out) const {
        if (has(key)) at(key).as_hex(out);
    }

private:
    const void* node_;
    std::string where_;
};

}  // namespace sim
