// The check of a command line against its command's description (see command_line.h and the
// syntax of command_table.h). The descriptions are short texts read here on each call: a
// command line is checked once per process.
#include "telvar/cli/command_line.h"

#include <arpa/inet.h>
#include <netdb.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string_view>

namespace telvar {

namespace {

enum class kind { literal, stand_in, range, ip, quad, port, ports, number, integer, hex, count, seconds, wwn, word, file };

constexpr std::array<std::pair<std::string_view, kind>, 12> kind_names{{
    {"ip", kind::ip},
    {"quad", kind::quad},
    {"port", kind::port},
    {"ports", kind::ports},
    {"n", kind::number},
    {"int", kind::integer},
    {"hex", kind::hex},
    {"count", kind::count},
    {"seconds", kind::seconds},
    {"wwn", kind::wwn},
    {"word", kind::word},
    {"file", kind::file},
}};

struct alternative {
    kind what = kind::literal;
    std::string_view text;  // the literal word, or the kind's name
    std::uint64_t lo = 0, hi = 0;
};

struct token {
    std::string_view spelling;
    std::vector<alternative> alternatives;
    bool optional = false;
    bool repeats = false;
};

struct option_spec {
    std::string_view name;  // "-s", or "--all" for one that may stand anywhere
    std::optional<token> value;
};

struct description {
    std::vector<option_spec> options;
    std::vector<token> operands;
};

std::vector<std::string_view> words_of(std::string_view text) {
    std::vector<std::string_view> out;
    while (!text.empty()) {
        const std::size_t start = text.find_first_not_of(' ');
        if (start == std::string_view::npos) break;
        text.remove_prefix(start);
        const std::size_t end = std::min(text.find(' '), text.size());
        out.push_back(text.substr(0, end));
        text.remove_prefix(end);
    }
    return out;
}

// Decimal digits only, at most 19 of them (so that the value fits).
std::optional<std::uint64_t> decimal(std::string_view t) {
    if (t.empty() || t.size() > 19 || !std::ranges::all_of(t, [](char ch) { return std::isdigit(static_cast<unsigned char>(ch)); }))
        return std::nullopt;
    std::uint64_t v = 0;
    for (const char ch : t) v = v * 10 + static_cast<std::uint64_t>(ch - '0');
    return v;
}

bool is_hex(std::string_view t) {
    return !t.empty() && std::ranges::all_of(t, [](char ch) { return std::isxdigit(static_cast<unsigned char>(ch)); });
}

bool parse_token(std::string_view text, token& out, std::string& problem) {
    out.spelling = text;
    if (text.size() >= 3 && text.substr(text.size() - 3) == "...") {
        out.repeats = true;
        text.remove_suffix(3);
    }
    if (text.size() >= 2 && text.front() == '[' && text.back() == ']') {
        out.optional = true;
        text = text.substr(1, text.size() - 2);
    }
    while (!text.empty()) {
        const std::size_t bar = std::min(text.find('|'), text.size());
        std::string_view alt = text.substr(0, bar);
        text.remove_prefix(std::min(bar + 1, text.size()));
        alternative a{kind::literal, alt};
        if (alt.size() >= 2 && alt.front() == '<' && alt.back() == '>') {
            a.text = alt = alt.substr(1, alt.size() - 2);
            const auto named = std::ranges::find(kind_names, alt, &std::pair<std::string_view, kind>::first);
            const std::size_t dash = alt.find('-');
            if (named != kind_names.end()) {
                a.what = named->second;
            } else if (const auto lo = decimal(alt.substr(0, dash)), hi = dash == std::string_view::npos
                                                                                ? std::nullopt
                                                                                : decimal(alt.substr(dash + 1));
                       lo && hi && *lo <= *hi) {
                a.what = kind::range;
                a.lo = *lo;
                a.hi = *hi;
            } else {
                problem = "unknown kind <" + std::string(alt) + ">";
                return false;
            }
        } else if (alt.starts_with("--")) {
            a.what = kind::stand_in;
        } else if (alt.empty() || alt.find_first_of("<>[]") != std::string_view::npos) {
            problem = "bad token " + std::string(out.spelling);
            return false;
        }
        out.alternatives.push_back(a);
    }
    if (out.alternatives.empty()) problem = "empty token";
    return !out.alternatives.empty();
}

bool parse(const syntax& s, description& d, std::string& problem) {
    for (const std::string_view w : words_of(s.options)) {
        if (w.size() >= 2 && w[0] == '-') {
            d.options.push_back({w, std::nullopt});
            continue;
        }
        if (d.options.empty() || d.options.back().value) {
            problem = "a value without its option: " + std::string(w);
            return false;
        }
        token t;
        if (!parse_token(w, t, problem)) return false;
        d.options.back().value = t;
    }
    for (const std::string_view w : words_of(s.operands)) {
        token t;
        if (!parse_token(w, t, problem)) return false;
        for (const alternative& a : t.alternatives) {
            if (a.what == kind::stand_in && std::ranges::find(d.options, a.text, &option_spec::name) == d.options.end()) {
                problem = "the operand " + std::string(w) + " names no option of the command";
                return false;
            }
        }
        d.operands.push_back(t);
    }
    return true;
}

// A strict dotted quad: four decimal numbers up to 255 without leading zeros, which the
// resolver would read as octal.
std::optional<std::uint32_t> dotted_quad(std::string_view t) {
    std::uint32_t addr = 0;
    for (int i = 0; i < 4; ++i) {
        const std::size_t dot = i < 3 ? t.find('.') : t.size();
        if (dot == std::string_view::npos) return std::nullopt;
        const std::string_view part = t.substr(0, dot);
        const auto v = decimal(part);
        if (!v || *v > 255 || part.size() > 3 || (part.size() > 1 && part[0] == '0')) return std::nullopt;
        addr = addr << 8 | static_cast<std::uint32_t>(*v);
        t.remove_prefix(std::min(dot + 1, t.size()));
    }
    return addr;
}

// A dotted quad other than 0.0.0.0 and the broadcast address, or a host name that resolves.
// Numbers in other forms (127.0.70, 0x7f.1), which the resolver would quietly complete, are not.
bool switch_address(std::string_view t) {
    if (t.find_first_not_of("0123456789.") == std::string_view::npos) {
        const auto a = dotted_quad(t);
        return a && *a != 0 && *a != 0xFFFFFFFFu;
    }
    const std::string text(t);
    in_addr numeric{};
    if (inet_aton(text.c_str(), &numeric) != 0) return false;
    addrinfo hints{};
    hints.ai_family = AF_INET;
    addrinfo* found = nullptr;
    if (getaddrinfo(text.c_str(), nullptr, &hints, &found) != 0) return false;
    freeaddrinfo(found);
    return true;
}

bool port_number(std::string_view t) {
    const auto v = decimal(t);
    return v && *v >= 1 && *v <= INT32_MAX;
}

bool fits(const alternative& a, std::string_view t) {
    switch (a.what) {
        case kind::literal: return t == a.text;
        case kind::stand_in: return false;  // the option itself, never the operand's text
        case kind::range: {
            const auto v = decimal(t);
            return v && *v >= a.lo && *v <= a.hi;
        }
        case kind::ip: return switch_address(t);
        case kind::quad: return dotted_quad(t).has_value();
        case kind::port: return port_number(t);
        case kind::ports: {
            const std::size_t dash = t.find('-');
            return port_number(t.substr(0, dash)) && (dash == std::string_view::npos || port_number(t.substr(dash + 1)));
        }
        case kind::number: {
            const auto v = decimal(t);
            return v && *v <= INT32_MAX;
        }
        case kind::integer: {
            const auto v = decimal(t.starts_with('-') ? t.substr(1) : t);
            return v && *v <= INT32_MAX;
        }
        case kind::hex:
            if (t.starts_with("0x") || t.starts_with("0X")) t.remove_prefix(2);
            return t.size() <= 8 && is_hex(t);
        case kind::count: return !t.empty() && t.find_first_not_of("0123456789") == std::string_view::npos;
        case kind::seconds:
            return t.size() <= 12 && std::ranges::count(t, '.') <= 1 && t.find_first_not_of("0123456789.") == std::string_view::npos &&
                   t.find_first_of("0123456789") != std::string_view::npos;
        case kind::wwn: return t.size() == 16 && is_hex(t);
        case kind::word:
        case kind::file: return true;
    }
    return false;
}

bool fits(const token& tok, std::string_view t) {
    return std::ranges::any_of(tok.alternatives, [&](const alternative& a) { return fits(a, t); });
}

std::string describe(const alternative& a) {
    switch (a.what) {
        case kind::literal:
        case kind::stand_in: return std::string(a.text);  // a stand-in is told apart by not_what
        case kind::range: return "a number from " + std::to_string(a.lo) + " to " + std::to_string(a.hi);
        case kind::ip: return "an IPv4 address (dotted, no leading zeros) or a host name that resolves";
        case kind::quad: return "a dotted IPv4 address";
        case kind::port: return "a port number (1 and up)";
        case kind::ports: return "a port number or a range of ports such as 5-8";
        case kind::number:
        case kind::count: return "a number";
        case kind::integer: return "a whole number";
        case kind::hex: return "a hex number of up to 8 digits";
        case kind::seconds: return "a number of seconds";
        case kind::wwn: return "a WWN (16 hex digits)";
        case kind::word:
        case kind::file: return "a word";
    }
    return {};
}

std::string not_what(const token& tok, std::string_view t) {
    std::vector<alternative> kinds;
    std::string stand_ins;  // options that could have taken the operand's place
    for (const alternative& a : tok.alternatives) {
        if (a.what != kind::stand_in)
            kinds.push_back(a);
        else
            stand_ins += (stand_ins.empty() ? ", and no " : " or ") + std::string(a.text);
    }
    std::string what;
    for (std::size_t i = 0; i < kinds.size(); ++i) {
        if (i > 0) what += i + 1 == kinds.size() ? " or " : ", ";
        what += describe(kinds[i]);
    }
    return "'" + std::string(t) + "' is not " + what + (stand_ins.empty() ? "" : stand_ins + " was given");
}

// -f: the FC address of a switch, 1 to 6 hex digits with an optional 0x, not 0.
bool fc_address(std::string_view t) {
    if (t.starts_with("0x") || t.starts_with("0X")) t.remove_prefix(2);
    return t.size() <= 6 && is_hex(t) && t.find_first_not_of('0') != std::string_view::npos;
}

bool udp_port(std::string_view t) {
    const auto v = decimal(t);
    return v && *v <= 65535;
}

const option_spec* find_own(const description& d, std::string_view e) {
    // Options of a letter are known by their second character, as the command's option loop
    // knows them (-save acts as -s); options of a word by the whole word.
    for (const option_spec& o : d.options) {
        const bool word = o.name[1] == '-';
        if (word ? e == o.name : (e.size() >= 2 && e[1] != '-' && e[1] == o.name[1])) return &o;
    }
    return nullptr;
}

// The local UDP port from the environment, when -port does not override it.
std::string environment_port_problem() {
    for (const char* name : {"TELVARPORT", "telvarport"}) {
        const char* value = std::getenv(name);
        if (value == nullptr) continue;
        if (udp_port(value)) return {};
        return std::string(name) + ": '" + value + "' is not a UDP port (0 to 65535)";
    }
    return {};
}

}  // namespace

std::string syntax_problem(const syntax& s) {
    description d;
    std::string problem;
    parse(s, d, problem);
    return problem;
}

checked_line check_command_line(const command& c, std::span<char* const> args) {
    checked_line out;
    description d;
    const bool described = !c.args.operands.empty();
    if (described && !parse(c.args, d, out.refusal)) {
        out.refusal = "cannot check the arguments: " + out.refusal;
        return out;
    }
    const auto refuse = [&](const std::string& why) {
        out.refusal = why;
        return out;
    };
    // Takes the command's own option at args[i] and its value, moving i past them; why not, or empty.
    const auto take_own = [&](const option_spec& own, std::size_t& i) -> std::string {
        out.own_elements.push_back(i);
        if (!own.value) {
            out.options.push_back({own.name, nullptr});
            ++i;
            return {};
        }
        if (i + 1 >= args.size()) return std::string(own.name) + " needs a value";
        if (!fits(*own.value, args[i + 1])) return std::string(own.name) + ": " + not_what(*own.value, args[i + 1]);
        out.own_elements.push_back(i + 1);
        out.options.push_back({own.name, args[i + 1]});
        i += 2;
        return {};
    };
    const auto accept = [&] {
        if (std::ranges::none_of(args, [](const char* a) { return std::string_view(a) == "-port"; }))
            out.refusal = environment_port_problem();
        return out;
    };

    std::size_t i = 0;
    while (i < args.size() && args[i][0] == '-') {
        const std::string_view e = args[i];
        if (e == "-y" || e == "--yes") {
            out.yes.push_back(i++);
            continue;
        }
        if (e == "-q" || e == "-v") {
            out.notice = e == "-q" ? notice_level::quiet : notice_level::verbose;
            out.notices.push_back(i++);
            continue;
        }
        const char letter = e.size() > 1 ? e[1] : '\0';
        if (const option_spec* own = find_own(d, e)) {
            if (const std::string why = take_own(*own, i); !why.empty()) return refuse(why);
        } else if (letter == 'h') {
            out.help = true;
            return out;
        } else if (letter == 'f' || letter == 'p' || letter == 'u') {
            const std::string flag = e == "-port" ? "-port" : std::string(e.substr(0, 2));
            if (i + 1 >= args.size()) return refuse(flag + " needs a value");
            const std::string_view value = args[i + 1];
            if (letter == 'f' && !fc_address(value))
                return refuse("-f: '" + std::string(value) + "' is not the FC address of a switch (1 to 6 hex digits)");
            if (flag == "-port" && !udp_port(value))
                return refuse("-port: '" + std::string(value) + "' is not a UDP port (0 to 65535)");
            if (letter == 'p' && flag != "-port") out.password = true;
            if (letter == 'u') out.user = args[i + 1];
            i += 2;
        } else if (!described) {
            return accept();  // an option of the command's own: whether a value follows is unknown
        } else {
            return refuse("unknown option " + std::string(e));
        }
    }

    std::vector<std::string_view> rest;  // from the address on, without the options of a word
    while (i < args.size()) {
        const option_spec* own = std::string_view(args[i]).starts_with("--") ? find_own(d, args[i]) : nullptr;
        if (own == nullptr) {
            rest.emplace_back(args[i++]);
        } else if (const std::string why = take_own(*own, i); !why.empty()) {
            return refuse(why);
        }
    }
    if (!described) {
        if (!rest.empty() && !switch_address(rest[0])) return refuse(not_what(token{"<ip>", {{kind::ip, "ip"}}}, rest[0]));
        if (!rest.empty()) out.address = rest[0].data();
        return accept();
    }
    const auto given = [&](const alternative& a) {
        return a.what == kind::stand_in && std::ranges::find(out.options, a.text, &given_option::name) != out.options.end();
    };
    // The operands that must be given after the one at `from`.
    const auto needed_after = [&](std::size_t from) {
        return std::count_if(d.operands.begin() + static_cast<std::ptrdiff_t>(from) + 1, d.operands.end(), [&](const token& t) {
            return !t.optional && std::ranges::none_of(t.alternatives, given);
        });
    };
    std::size_t k = 0;
    for (std::size_t at = 0; at < d.operands.size(); ++at) {
        const token& t = d.operands[at];
        if (std::ranges::any_of(t.alternatives, given)) continue;  // an option took its place
        // An optional operand is left out when those after it need every element that is left.
        if (t.optional && rest.size() - k <= static_cast<std::size_t>(needed_after(at))) continue;
        if (k >= rest.size()) return refuse("missing " + std::string(t.spelling));
        // The first element, when it is a switch's address, is the one the credentials are for;
        // it is resolved once, as a name that does not resolve may take its time.
        const auto fits_as = [&](kind what, bool as) {
            return std::ranges::any_of(t.alternatives, [&](const alternative& a) { return (a.what == what) == as && fits(a, rest[k]); });
        };
        if (k == 0 && fits_as(kind::ip, true)) out.address = rest[0].data();
        do {
            const bool fitting = k == 0 ? out.address != nullptr || fits_as(kind::ip, false) : fits(t, rest[k]);
            if (!fitting) return refuse(not_what(t, rest[k]));
            ++k;
        } while (t.repeats && k < rest.size());
    }
    if (k < rest.size()) return refuse("unexpected argument '" + std::string(rest[k]) + "'");
    return accept();
}

void hand_over(const command& c, const checked_line& checked, std::vector<char*>& line) {
    std::vector<std::size_t> drop = checked.yes;
    drop.insert(drop.end(), checked.notices.begin(), checked.notices.end());
    if (c.takes_parsed_options) {
        drop.insert(drop.end(), checked.own_elements.begin(), checked.own_elements.end());
        hand_options(checked.options);
    }
    std::ranges::sort(drop);
    for (auto it = drop.rbegin(); it != drop.rend(); ++it) line.erase(line.begin() + 1 + static_cast<std::ptrdiff_t>(*it));
}

}  // namespace telvar
