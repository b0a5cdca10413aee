// The defaults-file parser (defaults_file.h): the key table and what each key does to the
// staging messages.
#include "tv_api/operations/defaults_file.h"

#include <arpa/inet.h>

#include <algorithm>
#include <array>
#include <cctype>

#include "proto/chassis/layout.h"
#include "proto/netconfig/layout.h"
#include "tv_api/tv_inter.h"

namespace tv::defaults {

namespace {

namespace N = layout::netconfig;
namespace P = layout::chassis::param;

enum class action {
    ignore,       // part_number
    flash,
    address,      // a dotted IPv4 address into the network message
    ip_auto,
    net_number,   // a decimal number into the network message
    tov16,        // a decimal number, truncated to 16 bits, into the parameter block
    tov32,
    per_port,     // a list of decimal numbers, one byte per port
};

struct key_def {
    std::string_view name;
    action what;
    std::size_t at;
};

constexpr std::array<key_def, 13> keys{{
    {"part_number", action::ignore, 0},
    {"flash", action::flash, 0},
    {"ip_addr", action::address, N::ip_addr},
    {"ip_mask", action::address, N::ip_mask},
    {"ip_gateway", action::address, N::ip_gateway},
    {"ip_broadcast", action::address, N::ip_broadcast},
    {"IP_Auto", action::ip_auto, N::ip_auto},
    {"IP_ArpTimeout", action::net_number, N::arp_timeout},
    {"MFS_TOV", action::tov16, P::mfs_tov},
    {"ED_TOV", action::tov32, P::ed_tov},
    {"RA_TOV", action::tov32, P::ra_tov},
    {"MFS_Mode", action::per_port, P::mfs_mode},
    {"Force_F_Port", action::per_port, P::force_f_port},
}};

struct assignment_mode {
    std::string_view word;
    std::uint32_t code;
};
constexpr std::array<assignment_mode, 3> assignment_modes{{
    {"false", N::auto_fixed}, {"bootp", N::auto_bootp}, {"rarp", N::auto_rarp}}};

bool same_text(std::string_view a, std::string_view b) {
    return std::ranges::equal(a, b, [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) ==
               std::tolower(static_cast<unsigned char>(y));
    });
}

// The tokens of a line, one after the other, as strtok finds them.
class tokens {
public:
    explicit tokens(std::string_view line) : rest_(line) {}
    std::string_view next() {
        const std::size_t start = rest_.find_first_not_of(separators);
        if (start == std::string_view::npos) return rest_ = {};
        rest_.remove_prefix(start);
        const std::size_t end = std::min(rest_.find_first_of(separators), rest_.size());
        const std::string_view t = rest_.substr(0, end);
        rest_.remove_prefix(end);
        return t;
    }

private:
    std::string_view rest_;
};

// The number the C library's atoi reads from a token (saturated, not overflowing); `exact` is
// false when the token is not wholly an optionally signed decimal number.
std::int32_t number_of(std::string_view token, bool& exact) {
    const std::string text(token);
    std::size_t i = text[0] == '+' || text[0] == '-' ? 1 : 0;
    exact = i < text.size() &&
            std::all_of(text.begin() + static_cast<std::ptrdiff_t>(i), text.end(),
                        [](char c) { return std::isdigit(static_cast<unsigned char>(c)); });
    return to_int(text.c_str());
}

std::string not_a_number(std::string_view token) {
    return "'" + std::string(token) + "' is not a decimal number; " +
           std::to_string(to_int(std::string(token).c_str())) + " is used";
}

void apply_value(const key_def& k, std::string_view value, tokens& more, const staging& s,
                 std::uint32_t& changed, std::string& warning) {
    bool exact = true;
    switch (k.what) {
        case action::ignore:
        case action::flash: return;
        case action::address: {
            // inet_aton reads what inet_addr reads; an address it cannot read is all ones.
            in_addr a{};
            if (inet_aton(std::string(value).c_str(), &a) == 0) {
                a.s_addr = 0xFFFFFFFFu;
                warning = "'" + std::string(value) +
                          "' is not a dotted IPv4 address; 255.255.255.255 is used";
            }
            wire::put_be32(s.net, k.at, ntohl(a.s_addr));
            changed |= changed_network;
            return;
        }
        case action::ip_auto: {
            const auto it = std::ranges::find_if(
                assignment_modes, [&](const assignment_mode& m) { return same_text(m.word, value); });
            if (it != assignment_modes.end())
                wire::put_be32(s.net, k.at, it->code);
            else
                warning = "'" + std::string(value) +
                          "' is not false, bootp or rarp; the setting is left as it was";
            changed |= changed_network;  // the settings read are written back all the same
            return;
        }
        case action::net_number:
            wire::put_be32(s.net, k.at, static_cast<std::uint32_t>(number_of(value, exact)));
            changed |= changed_network;
            break;
        case action::tov16:
            wire::put_be16(s.params, k.at, static_cast<std::uint16_t>(number_of(value, exact)));
            changed |= changed_params;
            break;
        case action::tov32:
            wire::put_be32(s.params, k.at, static_cast<std::uint32_t>(number_of(value, exact)));
            changed |= changed_params;
            break;
        case action::per_port: {
            const std::size_t ports =
                std::min<std::size_t>(wire::get_u8(s.params, P::port_count), P::per_port);
            std::size_t port = 0;
            for (std::string_view t = value; !t.empty(); t = more.next(), ++port) {
                if (port >= ports) {
                    warning = "the switch has " + std::to_string(ports) +
                              " ports here; values from '" + std::string(t) + "' on are ignored";
                    break;
                }
                bool one_exact = true;
                const auto v = static_cast<std::uint8_t>(number_of(t, one_exact));
                if (!one_exact && exact) warning = not_a_number(t);
                exact = exact && one_exact;
                wire::put_u8(s.params, k.at + port, v);
            }
            changed |= changed_params;
            return;
        }
    }
    if (!exact) warning = not_a_number(value);
}

}  // namespace

std::size_t next_piece(std::string_view rest) {
    const std::size_t n = std::min(rest.size(), piece_len);
    const std::size_t nl = rest.substr(0, n).find('\n');
    return nl == std::string_view::npos ? n : nl + 1;
}

std::string_view as_line(std::string_view piece) {
    return piece.substr(0, std::min(piece.find('\0'), piece.size()));
}

piece_outcome apply_piece(std::string_view piece, const staging& s, std::uint32_t& changed) {
    piece_outcome out;
    const std::string_view line = as_line(piece);
    if (line.empty() || !std::isalpha(static_cast<unsigned char>(line[0]))) return out;
    tokens t(line);
    out.key = t.next();
    out.value = t.next();
    const auto k = std::ranges::find_if(keys, [&](const key_def& d) { return same_text(d.name, out.key); });
    if (k == keys.end()) {
        out.what = verdict::unknown_key;
        return out;
    }
    if (out.value.empty()) {
        out.what = verdict::no_value;
        return out;
    }
    out.what = k->what == action::flash ? verdict::flash : verdict::applied;
    apply_value(*k, out.value, t, s, changed, out.warning);
    return out;
}

}  // namespace tv::defaults
