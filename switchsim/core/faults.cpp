#include "switchsim/core/faults.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdio>
#include <cstdlib>

#include "switchsim/core/family.h"
#include "telvar/utilmsg.h"

namespace sim {

namespace {

struct kind_name {
    fault_kind kind;
    std::string_view name;
    bool takes_value;
};

constexpr std::array<kind_name, 11> kinds{{
    {fault_kind::drop, "drop", false},
    {fault_kind::silence, "silence", false},
    {fault_kind::delay, "delay", true},
    {fault_kind::duplicate, "duplicate", false},
    {fault_kind::reorder, "reorder", false},
    {fault_kind::stale, "stale", false},
    {fault_kind::corrupt, "corrupt", false},
    {fault_kind::status, "status", true},
    {fault_kind::fill, "fill", true},
    {fault_kind::size, "size", true},
    {fault_kind::truncate, "truncate", true},
}};

// The values a kind takes, and how the command line writes them.
struct value_range {
    std::uint64_t min, max;
    const char* form;
};
value_range range_of(fault_kind k) {
    switch (k) {
        case fault_kind::status: return {0, 0xFF, "status=BYTE"};
        case fault_kind::fill: return {0, 0xFF, "fill=BYTE"};
        case fault_kind::size: return {20, 2048, "size=N (20 to 2048)"};
        case fault_kind::truncate: return {1, 2048, "truncate=N (1 to 2048)"};
        default: return {0, 600000, "delay=MS"};
    }
}

// A whole decimal or 0x-hexadecimal number within `max`.
bool parse_number(std::string_view t, std::uint64_t max, std::uint64_t& out) {
    int base = 10;
    if (t.size() > 2 && t[0] == '0' && (t[1] == 'x' || t[1] == 'X')) {
        t.remove_prefix(2);
        base = 16;
    }
    const auto [end, ec] = std::from_chars(t.data(), t.data() + t.size(), out, base);
    return !t.empty() && ec == std::errc() && end == t.data() + t.size() && out <= max;
}

}  // namespace

std::optional<fault_rule> parse_fault(std::string_view text, std::string& error) {
    fault_rule r;
    bool first = true;
    while (!text.empty() || first) {
        const std::size_t comma = text.find(',');
        const std::string_view item = text.substr(0, comma);
        text = comma == std::string_view::npos ? std::string_view{} : text.substr(comma + 1);
        const std::size_t eq = item.find('=');
        const std::string_view key = item.substr(0, eq);
        const std::string_view val = eq == std::string_view::npos ? "" : item.substr(eq + 1);
        std::uint64_t n = 0;
        if (first) {
            first = false;
            const kind_name* k = nullptr;
            for (const auto& c : kinds)
                if (c.name == key) k = &c;
            if (k == nullptr) {
                error = "unknown fault '" + std::string(key) +
                        "' (drop, silence, delay, duplicate, reorder, stale, corrupt, status)";
                return std::nullopt;
            }
            r.kind = k->kind;
            const value_range vr = range_of(k->kind);
            if (k->takes_value != (eq != std::string_view::npos) ||
                (k->takes_value && (!parse_number(val, vr.max, n) || n < vr.min))) {
                error = k->takes_value ? std::string(key) + " needs a value: " + vr.form
                                       : std::string(key) + " takes no value";
                return std::nullopt;
            }
            r.value = static_cast<std::uint32_t>(n);
            continue;
        }
        if (key == "cmd" && parse_number(val, 0xFFFF, n)) {
            r.command = static_cast<std::uint16_t>(n);
        } else if (key == "sub" && parse_number(val, 0xFFFFFFFF, n)) {
            r.subcommand = static_cast<std::uint32_t>(n);
        } else if (key == "count" && parse_number(val, 1u << 30, n)) {
            r.count = static_cast<long>(n);
        } else if (key == "p") {
            char* end = nullptr;
            const std::string v(val);
            const double p = std::strtod(v.c_str(), &end);
            if (v.empty() || *end != '\0' || !(p >= 0.0 && p <= 1.0)) {
                error = "p must be a probability from 0 to 1: '" + v + "'";
                return std::nullopt;
            }
            r.probability = p;
        } else {
            error = "bad fault option '" + std::string(item) + "' (cmd=C, sub=S, p=P, count=N)";
            return std::nullopt;
        }
    }
    if (r.subcommand && !r.command) r.command = TV_CMD_CONFIG;
    return r;
}

std::string describe(const fault_rule& r) {
    std::string s;
    for (const auto& k : kinds)
        if (k.kind == r.kind) s = std::string(k.name);
    for (const auto& k : kinds)
        if (k.kind == r.kind && k.takes_value) s += "=" + std::to_string(r.value);
    char buf[64];
    if (r.command) {
        std::snprintf(buf, sizeof buf, " cmd=0x%x", *r.command);
        s += buf;
    }
    if (r.subcommand) {
        std::snprintf(buf, sizeof buf, " sub=0x%x", *r.subcommand);
        s += buf;
    }
    if (r.probability < 1.0) {
        std::snprintf(buf, sizeof buf, " p=%g", r.probability);
        s += buf;
    }
    if (r.count >= 0) s += " count=" + std::to_string(r.count);
    return s;
}

fault_effects fault_plan::decide(std::uint16_t command, std::uint32_t subcommand) {
    fault_effects e;
    std::uniform_real_distribution<double> coin(0.0, 1.0);
    for (auto& r : rules_) {
        if (r.command && *r.command != command) continue;
        if (r.subcommand && (!has_subcommands(command) || *r.subcommand != subcommand)) continue;
        if (r.count == 0) continue;
        if (r.probability < 1.0 && coin(rng_) >= r.probability) continue;
        if (r.count > 0) --r.count;
        switch (r.kind) {
            case fault_kind::drop:
            case fault_kind::silence: e.drop = true; break;
            case fault_kind::delay: e.delay_ms += r.value; break;
            case fault_kind::duplicate: e.duplicate = true; break;
            case fault_kind::reorder: e.reorder = true; break;
            case fault_kind::stale: e.stale_first = true; break;
            case fault_kind::corrupt: e.corrupt = true; break;
            case fault_kind::status: e.status = static_cast<std::uint8_t>(r.value); break;
            case fault_kind::fill: e.fill = static_cast<std::uint8_t>(r.value); break;
            case fault_kind::size: e.size = r.value; break;
            case fault_kind::truncate: e.truncate = r.value; break;
        }
    }
    return e;
}

void fault_effects::reshape(std::vector<std::uint8_t>& answer) const {
    constexpr std::size_t header = 16, checksum = 4;
    if (size) answer.resize(*size, 0xFF);
    if (fill && answer.size() > header + checksum)
        std::fill(answer.begin() + header, answer.end() - checksum, *fill);
}

}  // namespace sim
