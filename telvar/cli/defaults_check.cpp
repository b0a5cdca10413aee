// The tool's rules for the lines of a switch defaults file (defaults_check.h): one table of the
// keys of the file format and the kind of value each takes.
#include "telvar/cli/defaults_check.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <vector>

#include "proto/chassis/layout.h"
#include "proto/transfer/layout.h"
#include "tv_api/operations/defaults_file.h"

namespace telvar::tool {

namespace {

enum class kind : std::uint8_t {
    anything,    // part_number: not used
    firmware,    // a firmware file to load
    address,     // a dotted IPv4 address
    number,      // a decimal number from low to high
    assignment,  // false, bootp or rarp
    per_port,    // decimal numbers from low to high, one for each port from the first
};

struct key_rule {
    std::string_view key;
    kind of;
    std::uint32_t low = 0;
    std::uint32_t high = 0;
};

// Numbers the switch keeps in 32 bits are read by the library as signed: up to 2^31 - 1 the
// number sent is the number written. MFS_TOV is a 16-bit field; MFS modes are codes 0 to 6;
// force-F_Port is a flag.
constexpr std::uint32_t max_signed = 0x7FFFFFFF;
constexpr std::array<key_rule, 13> key_rules{{
    {"part_number", kind::anything},
    {"flash", kind::firmware},
    {"ip_addr", kind::address},
    {"ip_mask", kind::address},
    {"ip_gateway", kind::address},
    {"ip_broadcast", kind::address},
    {"IP_Auto", kind::assignment},
    {"IP_ArpTimeout", kind::number, 0, max_signed},
    {"MFS_TOV", kind::number, 0, 0xFFFF},
    {"ED_TOV", kind::number, 0, max_signed},
    {"RA_TOV", kind::number, 0, max_signed},
    {"MFS_Mode", kind::per_port, 0, 6},
    {"Force_F_Port", kind::per_port, 0, 1},
}};
constexpr std::array<std::string_view, 3> assignment_words{"false", "bootp", "rarp"};

// The parameter block has a byte for each of this many ports.
constexpr std::size_t max_ports = ::tv::layout::chassis::param::per_port;
// A firmware load numbers its blocks in 16 bits.
constexpr std::uint64_t max_firmware_bytes =
    std::uint64_t{::tv::layout::transfer::max_blocks} * ::tv::layout::transfer::max_block;

constexpr std::string_view blanks = " \t\r\f\v";

bool same_text(std::string_view a, std::string_view b) {
    return std::ranges::equal(a, b, [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
    });
}

bool is_letter(char c) { return std::isalpha(static_cast<unsigned char>(c)) != 0; }

std::vector<std::string_view> tokens_of(std::string_view line) {
    std::vector<std::string_view> tokens;
    for (std::size_t at = line.find_first_not_of(::tv::defaults::separators); at != std::string_view::npos;) {
        const std::size_t end = std::min(line.find_first_of(::tv::defaults::separators, at), line.size());
        tokens.push_back(line.substr(at, end - at));
        at = line.find_first_not_of(::tv::defaults::separators, end);
    }
    return tokens;
}

bool number_in(std::string_view t, std::uint32_t low, std::uint32_t high) {
    if (t.empty() || t.size() > 10 || !std::ranges::all_of(t, [](char c) { return c >= '0' && c <= '9'; }))
        return false;
    std::uint64_t v = 0;
    for (const char c : t) v = v * 10 + static_cast<std::uint64_t>(c - '0');
    return v >= low && v <= high;
}

// Four decimal numbers up to 255 without leading zeros: the library's reader takes "010" as
// octal, which is not what was written.
bool dotted_address(std::string_view t) {
    std::size_t parts = 0;
    for (std::size_t at = 0; at <= t.size(); ++parts) {
        const std::size_t end = std::min(t.find('.', at), t.size());
        const std::string_view part = t.substr(at, end - at);
        if (part.size() > 3 || (part.size() > 1 && part[0] == '0') || !number_in(part, 0, 255)) return false;
        at = end + 1;
    }
    return parts == 4;
}

std::string quoted(std::string_view t) { return "'" + std::string(t) + "'"; }

std::string firmware_problem(std::string_view name) {
    const std::string path(name);
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || ::access(path.c_str(), R_OK) != 0)
        return "the firmware file " + quoted(name) + " cannot be read: " + std::strerror(errno);
    if (!S_ISREG(st.st_mode)) return "the firmware file " + quoted(name) + " is not a regular file";
    if (st.st_size == 0) return "the firmware file " + quoted(name) + " is empty";
    if (static_cast<std::uint64_t>(st.st_size) > max_firmware_bytes)
        return "the firmware file " + quoted(name) + " is larger than a firmware load carries (" +
               std::to_string(max_firmware_bytes) + " bytes)";
    return {};
}

std::string range_of(const key_rule& r) {
    return "a decimal number from " + std::to_string(r.low) + " to " + std::to_string(r.high);
}

// Why the values of a key line do not fit its rule, or empty.
std::string value_problem(const key_rule& r, std::string_view key, const std::vector<std::string_view>& values) {
    const std::string named = std::string(key) + ": ";
    if (values.empty()) return named + "no value";
    if (r.of == kind::anything) return {};
    if (r.of == kind::per_port) {
        if (values.size() > max_ports) return named + "more than " + std::to_string(max_ports) + " ports";
        for (std::size_t i = 0; i < values.size(); ++i)
            if (!number_in(values[i], r.low, r.high))
                return named + "the value for port " + std::to_string(i + 1) + ", " + quoted(values[i]) +
                       ", is not " + range_of(r);
        return {};
    }
    if (values.size() > 1) return named + "one value only, and " + quoted(values[1]) + " follows it";
    const std::string_view v = values.front();
    switch (r.of) {
        case kind::firmware: return firmware_problem(v);
        case kind::address:
            return dotted_address(v) ? std::string{} : named + quoted(v) + " is not a dotted IPv4 address";
        case kind::number: return number_in(v, r.low, r.high) ? std::string{} : named + quoted(v) + " is not " + range_of(r);
        case kind::assignment:
            return std::ranges::any_of(assignment_words, [&](std::string_view w) { return same_text(w, v); })
                       ? std::string{}
                       : named + quoted(v) + " is not false, bootp or rarp";
        case kind::anything:
        case kind::per_port: break;
    }
    return {};
}

}  // namespace

std::string defaults_line_problem(std::string_view line) {
    const std::size_t first = line.find_first_not_of(blanks);
    if (first == std::string_view::npos || line[first] == '#') return {};  // blank, or a comment
    if (!is_letter(line.front()))
        return first > 0 && is_letter(line[first]) ? "a key must begin its line (an indented one is skipped)"
                                                   : "neither a key, a comment (#) nor blank";
    if (line.find('\r') != std::string_view::npos) return "a carriage return (DOS line ends): convert the file";
    std::vector<std::string_view> tokens = tokens_of(line);
    const std::string_view key = tokens.front();
    const auto rule = std::ranges::find_if(key_rules, [&](const key_rule& r) { return same_text(r.key, key); });
    if (rule == key_rules.end()) return "unknown key " + quoted(key);
    tokens.erase(tokens.begin());
    return value_problem(*rule, key, tokens);
}

}  // namespace telvar::tool
