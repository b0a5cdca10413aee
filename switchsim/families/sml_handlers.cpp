// The text management interface: a get names a variable ("show port 3", "show switch contact",
// "snmp.community"), a set names one and its new value ("set port 3 speed 2"). The leading
// verb is optional. Objects (the switch, a port) answer a get of their own name with a summary
// of their fields as name=value pairs.
//
// A get answers with the value, "#" and a result code (the value is empty when the code is not
// 0): the code is never left out, since a value of one character alone would be too short an
// answer. A set answers "#" and a result code. Result codes: 0 done, 1 unknown variable, 2 value refused, 3 read-only, 4 request not
// understood. Values never contain "#", which ends the value in an answer.
#include <algorithm>
#include <array>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "proto/sml/layout.h"
#include "switchsim/core/fabric_fields.h"
#include "switchsim/core/handlers.h"
#include "switchsim/families/identity_family.h"
#include "switchsim/families/port_family.h"
#include "telvar/utconfig.h"
#include "telvar/utilmsg.h"

namespace sim {

namespace {

namespace w = tv::wire;
namespace L = tv::layout::sml;

enum result : unsigned {
    done = 0,
    unknown_variable = 1,
    bad_value = 2,
    read_only = 3,
    not_understood = 4,
};

constexpr std::size_t max_name_len = 32;
constexpr std::size_t max_value_len = 64;
constexpr std::size_t max_variables = 64;
constexpr std::size_t max_text_len = 63;  // the identity texts' room, terminator excluded

using words = std::vector<std::string_view>;

// What a field of an object reads and writes: a switch, or one of its ports.
struct target {
    fabric& fab;
    std::size_t sw;
    std::uint8_t port;

    switch_state& self() const { return fab.switches[sw]; }
};

struct field {
    std::string_view name;
    bool in_summary;
    std::string (*get)(const target&);
    result (*set)(const target&, std::string_view value);  // null: read-only
};

// The name of a code in a table of names, or its number.
template <std::size_t N>
std::string name_of(const std::array<std::string_view, N>& names, std::size_t code) {
    return code < N ? std::string(names[code]) : std::to_string(code);
}
template <std::size_t N>
std::optional<std::uint8_t> code_of(const std::array<std::string_view, N>& names, std::string_view v) {
    const auto it = std::ranges::find(names, v);
    if (it == names.end() || it->empty()) return std::nullopt;
    return static_cast<std::uint8_t>(it - names.begin());
}

bool fits_value(std::string_view v, std::size_t max_len) {
    return !v.empty() && v.size() <= max_len && v.find(L::code_mark) == std::string_view::npos;
}

// ---- The switch ----

template <std::string identity_state::*Text>
std::string identity_text(const target& t) {
    return t.self().get<identity_state>().*Text;
}
template <std::string identity_state::*Text>
result set_identity_text(const target& t, std::string_view v) {
    if (!fits_value(v, max_text_len)) return bad_value;
    t.self().get<identity_state>().*Text = std::string(v);
    return done;
}

std::string fc_addr_text(const target& t) {
    char text[16];
    std::snprintf(text, sizeof text, "%06x", t.self().fc_addr);
    return text;
}

std::string uptime_text(const target& t) {
    const auto up = std::chrono::steady_clock::now() - t.self().booted;
    return std::to_string(std::chrono::duration_cast<std::chrono::seconds>(up).count());
}

constexpr std::array<field, 7> switch_fields{{
    {"name", true, [](const target& t) { return t.self().name; }, nullptr},
    {"chassis", true, [](const target& t) { return std::to_string(t.self().chassis); }, nullptr},
    {"fc_addr", true, fc_addr_text, nullptr},
    {"ports", true, [](const target& t) { return std::to_string(t.self().ports.size()); }, nullptr},
    {"uptime", true, uptime_text, nullptr},
    {"contact", false, identity_text<&identity_state::contact>,
     set_identity_text<&identity_state::contact>},
    {"location", false, identity_text<&identity_state::location>,
     set_identity_text<&identity_state::location>},
}};

// ---- A port ----

constexpr std::array<std::string_view, 6> type_names{"", "F", "FL", "T", "SL", "TL"};
constexpr std::array<std::string_view, 6> state_names{"sl", "on", "off", "test", "fail", "invalid"};
constexpr std::array<std::string_view, 3> speed_names{"auto", "1", "2"};

port_config& config(const target& t) { return t.self().get<port_state>().active.at(t.port); }

result set_admin(const target& t, std::string_view v) {
    const auto code = code_of(state_names, v);
    if (!code || *code < TV_PORT_STATE_ON || *code > TV_PORT_STATE_TEST) return bad_value;
    config(t).admin = *code;
    return done;
}

std::uint8_t& speed(const target& t) { return t.self().get<sml_state>().speed.at(t.port); }

result set_speed(const target& t, std::string_view v) {
    const auto code = code_of(speed_names, v);
    if (!code) return bad_value;
    speed(t) = *code;
    return done;
}

constexpr std::array<field, 4> port_fields{{
    {"type", true, [](const target& t) { return name_of(type_names, config(t).type); }, nullptr},
    {"admin", true, [](const target& t) { return name_of(state_names, config(t).admin); }, set_admin},
    {"oper", true,
     [](const target& t) { return name_of(state_names, operational_state(t.fab, t.sw, t.port)); },
     nullptr},
    {"speed", true, [](const target& t) { return name_of(speed_names, speed(t)); }, set_speed},
}};

// ---- Requests ----

// The request's text: from offset 16 to its NUL, within the payload.
std::string_view request_text(const request_ctx& c) {
    if (c.req.size() <= L::text_at + TV_CHKSUM_LEN) return {};
    const std::string_view room{reinterpret_cast<const char*>(c.req.data()) + L::text_at,
                                c.req.size() - L::text_at - TV_CHKSUM_LEN};
    return room.substr(0, room.find('\0'));
}

words split(std::string_view text) {
    words out;
    std::size_t i = 0;
    while (i < text.size()) {
        while (i < text.size() && text[i] == ' ') ++i;
        const std::size_t start = i;
        while (i < text.size() && text[i] != ' ') ++i;
        if (i > start) out.push_back(text.substr(start, i - start));
    }
    return out;
}

std::string join(std::span<const std::string_view> ws) {
    std::string out;
    for (const auto& x : ws) out += (out.empty() ? "" : " ") + std::string(x);
    return out;
}

// The words after the verb; a request with the other verb is not understood.
std::optional<words> after_verb(const request_ctx& c, std::string_view verb, std::string_view other) {
    words ws = split(request_text(c));
    if (!ws.empty() && ws.front() == other) return std::nullopt;
    if (!ws.empty() && ws.front() == verb) ws.erase(ws.begin());
    return ws;
}

// The object or free variable that a request's first words name.
struct resolved {
    result r = done;
    std::span<const field> fields{};  // the object's fields; empty for a free variable
    std::size_t used = 0;             // words naming it
    std::uint8_t port = 0;
    std::string* variable = nullptr;  // a free variable's value
};

resolved resolve(request_ctx& c, const words& ws) {
    if (ws.empty()) return {not_understood};
    if (ws[0] == "switch") return {done, switch_fields, 1};
    if (ws[0] == "port") {
        unsigned n = 0;
        const std::string_view num = ws.size() > 1 ? ws[1] : std::string_view{};
        const auto [end, ec] = std::from_chars(num.data(), num.data() + num.size(), n);
        if (num.empty() || ec != std::errc{} || end != num.data() + num.size() || n < 1 ||
            n > c.self().ports.size())
            return {unknown_variable};
        return {done, port_fields, 2, static_cast<std::uint8_t>(n - 1)};
    }
    for (auto& [name, value] : c.state<sml_state>().variables)
        if (name == ws[0]) return {done, {}, 1, 0, &value};
    return {unknown_variable};
}

const field* find_field(std::span<const field> fields, std::string_view name) {
    const auto it = std::ranges::find(fields, name, &field::name);
    return it == fields.end() ? nullptr : &*it;
}

// Answers with `text` from offset 16, NUL-terminated and NUL-padded.
void answer(request_ctx& c, std::string_view text) {
    auto m = c.reply(TV_HDR_LEN + L::padded_len(text.size()) + TV_CHKSUM_LEN);
    w::put_bytes(m, L::text_at, text.data(), text.size());
}

void answer_value(request_ctx& c, const std::string& value, result r = done) {
    char code[16];
    std::snprintf(code, sizeof code, "%c%x", L::code_mark, static_cast<unsigned>(r));
    answer(c, value + code);
}

void answer_code(request_ctx& c, result r) { answer_value(c, {}, r); }

std::string summary(std::span<const field> fields, const target& t) {
    std::string out;
    for (const field& f : fields)
        if (f.in_summary) out += (out.empty() ? "" : " ") + std::string(f.name) + "=" + f.get(t);
    return out;
}

void get(request_ctx& c) {
    const auto ws = after_verb(c, "show", "set");
    if (!ws) return answer_code(c, not_understood);
    const resolved o = resolve(c, *ws);
    if (o.r != done) return answer_code(c, o.r);
    if (ws->size() > o.used + (o.variable ? 0 : 1)) return answer_code(c, not_understood);
    if (o.variable) return answer_value(c, *o.variable);
    const target t{c.fab, c.sw, o.port};
    if (ws->size() == o.used) return answer_value(c, summary(o.fields, t));
    const field* f = find_field(o.fields, (*ws)[o.used]);
    if (f == nullptr) return answer_code(c, unknown_variable);
    answer_value(c, f->get(t));
}

void set(request_ctx& c) {
    const auto ws = after_verb(c, "set", "show");
    if (!ws) return answer_code(c, not_understood);
    const resolved o = resolve(c, *ws);
    if (o.r != done) return answer_code(c, o.r);
    const std::size_t value_at = o.used + (o.variable ? 0 : 1);
    if (ws->size() <= value_at) return answer_code(c, not_understood);
    const std::string value = join(std::span(*ws).subspan(value_at));
    if (o.variable) {
        if (!fits_value(value, max_value_len)) return answer_code(c, bad_value);
        *o.variable = value;
        return answer_code(c, done);
    }
    const field* f = find_field(o.fields, (*ws)[o.used]);
    if (f == nullptr) return answer_code(c, unknown_variable);
    if (f->set == nullptr) return answer_code(c, read_only);
    answer_code(c, f->set({c.fab, c.sw, o.port}, value));
}

constexpr std::array<handler_entry, 2> table{{
    {L::get_command, 0, get, true, "management get"},
    {L::set_command, 0, set, true, "management set"},
}};

constexpr std::array<std::string_view, 1> keys{"variables"};

void seed(switch_state& s) { s.get<sml_state>().speed.assign(s.ports.size(), 0); }

bool is_name_char(char ch) {
    return (ch >= 'a' && ch <= 'z') || (ch >= 'A' && ch <= 'Z') || (ch >= '0' && ch <= '9') ||
           ch == '.' || ch == '_' || ch == '-';
}

void read(const fields& j, switch_state& s) {
    if (!j.has("variables")) return;
    auto& vars = s.get<sml_state>().variables;
    vars.clear();
    j.at("variables").each([&](const fields& v, std::size_t) {
        static constexpr std::array<std::string_view, 2> var_keys{"name", "value"};
        v.expect_object(var_keys);
        std::string name = v.at("name").as_text(max_name_len);
        if (name.empty() || !std::ranges::all_of(name, is_name_char) || name == "switch" ||
            name == "port" || name == "show" || name == "set")
            v.at("name").fail("a variable name has 1 to 32 letters, digits, '.', '_' or '-' "
                              "and is none of switch, port, show, set");
        if (std::ranges::find(vars, name, &std::pair<std::string, std::string>::first) != vars.end())
            v.at("name").fail("'" + name + "' is used twice");
        std::string value = v.at("value").as_text(max_value_len);
        if (value.find(L::code_mark) != std::string::npos) v.at("value").fail("a value has no '#'");
        if (vars.size() == max_variables)
            v.fail("a switch has at most " + std::to_string(max_variables) + " variables");
        vars.emplace_back(std::move(name), std::move(value));
    });
}

}  // namespace

const family_info& sml_family::info() {
    static const family_info f{.name = "management variables",
                               .handlers = table,
                               .switch_keys = keys,
                               .read_switch = read,
                               .seed = seed};
    return f;
}

}  // namespace sim
