// The check of a command line against its command's description (see command_line.h and the
// syntax of command_table.h). The descriptions are short texts read here on each call: a
// command line is checked once per process.
#include "telvar/cli/command_line.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <sys/stat.h>

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

enum class kind {
    literal, stand_in, range, ip, quad, port, ports, number, integer, hex, count, seconds, wwn, word, file,
    snapshot, fc_address, enabled, zone
};

constexpr std::array<std::pair<std::string_view, kind>, 16> kind_names{{
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
    {"snapshot", kind::snapshot},
    {"fcaddr", kind::fc_address},
    {"enabled", kind::enabled},
    {"zone", kind::zone},
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

// -f: the FC address of a switch, 1 to 6 hex digits with an optional 0x, not 0.
bool fc_address(std::string_view t) {
    if (t.starts_with("0x") || t.starts_with("0X")) t.remove_prefix(2);
    return t.size() <= 6 && is_hex(t) && t.find_first_not_of('0') != std::string_view::npos;
}

bool udp_port(std::string_view t) {
    const auto v = decimal(t);
    return v && *v <= 65535;
}

// A WWN as the command takes it (16 hex digits) from 16 hex digits or from eight pairs joined
// by colons, as reports print it.
std::optional<std::string> wwn_digits(std::string_view t) {
    std::string out;
    if (t.size() == 23) {
        for (std::size_t i = 0; i < t.size(); ++i) {
            if (i % 3 == 2) {
                if (t[i] != ':') return std::nullopt;
            } else {
                out += t[i];
            }
        }
    } else {
        out = t;
    }
    if (out.size() != 16 || !is_hex(out)) return std::nullopt;
    std::ranges::transform(out, out.begin(), [](char ch) { return static_cast<char>(std::tolower(static_cast<unsigned char>(ch))); });
    return out;
}

// A trap's enable word as the command knows it: "on" enables, "0" disables.
std::optional<std::string> enable_word(std::string_view t) {
    if (t == "on" || t == "1" || t == "enabled") return "on";
    if (t == "off" || t == "0" || t == "disabled") return "0";
    return std::nullopt;
}

// A snapshot file where an address may stand: a path, a .json file or a file that exists, as
// the commands that read a fabric tell the two apart.
bool snapshot_file(std::string_view t) {
    struct stat st{};
    return t.find('/') != std::string_view::npos || t.ends_with(".json") ||
           (stat(std::string(t).c_str(), &st) == 0 && S_ISREG(st.st_mode));
}

// Zone ids by zone type (1 hd, 2 ns, 3 bcst, 4 sl); 0 before a type is known.
constexpr std::array<std::uint64_t, 5> last_zone_id{0, 15, 255, 15, 0xFFFF};
constexpr std::array<std::string_view, 5> zone_type_names{"", "hd", "ns", "bcst", "sl"};

// What the check knows of the operands before the current one.
struct operand_context {
    std::size_t zone_type = 0;  // the zone type given, for a <zone> after it
};

// Whether `t` is what `a` stands for; `spelled` receives the command's spelling of it when
// that differs from `t`.
bool fits(const alternative& a, std::string_view t, const operand_context& ctx, std::optional<std::string>& spelled) {
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
            if (dash == std::string_view::npos) return port_number(t);
            return port_number(t.substr(0, dash)) && port_number(t.substr(dash + 1)) &&
                   *decimal(t.substr(0, dash)) <= *decimal(t.substr(dash + 1));
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
        case kind::wwn:
            spelled = wwn_digits(t);
            if (spelled && *spelled == t) spelled.reset();
            return wwn_digits(t).has_value();
        case kind::enabled:
            spelled = enable_word(t);
            if (spelled && *spelled == t) spelled.reset();
            return enable_word(t).has_value();
        case kind::zone: {
            const auto v = decimal(t);
            return v && *v <= last_zone_id[ctx.zone_type];
        }
        case kind::snapshot: return snapshot_file(t);
        case kind::fc_address: return fc_address(t);
        case kind::word:
        case kind::file: return true;
    }
    return false;
}

bool fits(const token& tok, std::string_view t, const operand_context& ctx, std::optional<std::string>& spelled) {
    return std::ranges::any_of(tok.alternatives, [&](const alternative& a) {
        spelled.reset();
        return fits(a, t, ctx, spelled);
    });
}

std::string describe(const alternative& a, const operand_context& ctx) {
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
        case kind::wwn: return "a WWN (16 hex digits, or 8 pairs joined by colons)";
        case kind::enabled: return "on, 1, enabled, off, 0 or disabled";
        case kind::zone:
            return "a zone id of " + std::string(zone_type_names[ctx.zone_type]) + " zones (0 to " +
                   std::to_string(last_zone_id[ctx.zone_type]) + ")";
        case kind::snapshot: return "a snapshot file";
        case kind::fc_address: return "an FC address (up to 6 hex digits)";
        case kind::word:
        case kind::file: return "a word";
    }
    return {};
}

std::string not_what(const token& tok, std::string_view t, const operand_context& ctx) {
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
        what += describe(kinds[i], ctx);
    }
    return "'" + std::string(t) + "' is not " + what + (stand_ins.empty() ? "" : stand_ins + " was given");
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

// --timeout and --wait: milliseconds, bounded so that no line can make a command wait for hours.
constexpr std::uint64_t longest_timeout_ms = 600000, longest_wait_ms = 60000;

checked_line::element as_given(char* text, bool own = false) { return {text, own, std::nullopt}; }

// The number of a port operand and of both ends of a range.
void note_ports(std::string_view t, std::vector<std::uint64_t>& ports) {
    const std::size_t dash = t.find('-');
    if (const auto first = decimal(t.substr(0, dash))) ports.push_back(*first);
    if (dash == std::string_view::npos) return;
    if (const auto last = decimal(t.substr(dash + 1))) ports.push_back(*last);
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
    const auto accept = [&] {
        if (std::ranges::none_of(out.front, [](const checked_line::element& e) { return std::string_view(e.given) == "-port"; }))
            out.refusal = environment_port_problem();
        return out;
    };
    // Takes the command's own option at args[i] and its value, moving i past them; why not, or empty.
    const auto take_own = [&](const option_spec& own, std::size_t& i) -> std::string {
        if (!own.value) {
            out.options.push_back({own.name, nullptr});
            out.front.push_back(as_given(args[i++], true));
            return {};
        }
        if (i + 1 >= args.size()) return std::string(own.name) + " needs a value";
        std::optional<std::string> spelled;
        if (!fits(*own.value, args[i + 1], {}, spelled)) return std::string(own.name) + ": " + not_what(*own.value, args[i + 1], {});
        out.options.push_back({own.name, args[i + 1]});
        out.front.push_back(as_given(args[i], true));
        out.front.push_back({args[i + 1], true, spelled});
        i += 2;
        return {};
    };
    // --timeout and --wait: a number of milliseconds from 1 to `longest`.
    const auto take_time = [&](std::size_t& i, std::uint64_t longest, std::optional<int32_t>& into) -> std::string {
        const std::string name = args[i];
        if (i + 1 >= args.size()) return name + " needs a value";
        const auto v = decimal(args[i + 1]);
        if (!v || *v < 1 || *v > longest)
            return name + ": '" + args[i + 1] + "' is not a number of milliseconds from 1 to " + std::to_string(longest);
        into = static_cast<int32_t>(*v);
        i += 2;
        return {};
    };

    // Options anywhere until "--"; an element that starts with a dash and a digit is a negative
    // number, since no option is named by a digit.
    std::vector<char*> rest;
    bool options_end = false;
    for (std::size_t i = 0; i < args.size();) {
        const std::string_view e = args[i];
        if (options_end || e.size() < 2 || e[0] != '-' || std::isdigit(static_cast<unsigned char>(e[1]))) {
            rest.push_back(args[i++]);
            continue;
        }
        if (e == "-q" || e == "-v") {  // the dispatcher's, left off the command's line
            out.notice = e == "-q" ? notice_level::quiet : notice_level::verbose;
            ++i;
            continue;
        }
        if (e == "--") {
            options_end = true;
            ++i;
            continue;
        }
        if (e == "-y" || e == "--yes") {
            out.yes = true;
            ++i;
            continue;
        }
        if (e == "--json") {
            out.json = true;
            ++i;
            continue;
        }
        if (e == "--timeout" || e == "--wait") {
            const bool timeout = e == "--timeout";
            if (const std::string why = take_time(i, timeout ? longest_timeout_ms : longest_wait_ms, timeout ? out.timeout : out.wait);
                !why.empty())
                return refuse(why);
            continue;
        }
        const char letter = e[1];
        if (const option_spec* own = find_own(d, e)) {
            if (const std::string why = take_own(*own, i); !why.empty()) return refuse(why);
        } else if (letter == 'h' || e == "--help") {
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
            out.front.push_back(as_given(args[i]));
            out.front.push_back(as_given(args[i + 1]));
            i += 2;
        } else if (!described) {
            // An option of the command's own: whether a value follows is unknown, so the rest
            // goes to the command as it stands.
            for (; i < args.size(); ++i) out.front.push_back(as_given(args[i]));
            return accept();
        } else {
            return refuse("unknown option " + std::string(e));
        }
    }

    if (!described) {
        if (!rest.empty() && !switch_address(rest[0])) return refuse(not_what(token{"<ip>", {{kind::ip, "ip"}}}, rest[0], {}));
        for (char* r : rest) out.operands.push_back(as_given(r));
        if (!rest.empty()) out.address = rest[0];
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
    const bool snapshot_option = std::ranges::find(d.options, "--snapshot", &option_spec::name) != d.options.end();
    operand_context ctx;
    std::size_t k = 0;
    for (std::size_t at = 0; at < d.operands.size(); ++at) {
        const token& t = d.operands[at];
        if (std::ranges::any_of(t.alternatives, given)) continue;  // an option took its place
        // An optional operand is left out when those after it need every element that is left.
        if (t.optional && rest.size() - k <= static_cast<std::size_t>(needed_after(at))) continue;
        if (k >= rest.size()) return refuse("missing " + std::string(t.spelling));
        do {
            const std::string_view text = rest[k];
            const alternative* matched = nullptr;
            std::optional<std::string> spelled;
            for (const alternative& a : t.alternatives) {
                spelled.reset();
                if (fits(a, text, ctx, spelled)) {
                    matched = &a;
                    break;
                }
            }
            if (matched == nullptr) return refuse(not_what(t, text, ctx));
            if (k == 0 && matched->what == kind::ip) out.address = rest[k];  // whose credentials apply
            if (matched->what == kind::port || matched->what == kind::ports) note_ports(text, out.ports);
            if (t.alternatives.front().text == "hd") {  // the zone type, by word or by number
                const auto number = decimal(text).value_or(0);
                ctx.zone_type = matched->what == kind::literal
                                    ? static_cast<std::size_t>(std::ranges::find(zone_type_names, text) - zone_type_names.begin())
                                    : static_cast<std::size_t>(number < zone_type_names.size() ? number : 0);
            }
            if (matched->what == kind::snapshot && snapshot_option) {
                out.options.push_back({"--snapshot", rest[k]});  // the one way the command reads a file
                out.front.push_back(as_given(const_cast<char*>("--snapshot"), true));
                out.front.push_back(as_given(rest[k], true));
            } else {
                out.operands.push_back({rest[k], false, spelled});
            }
            ++k;
        } while (t.repeats && k < rest.size());
    }
    if (k < rest.size()) return refuse("unexpected argument '" + std::string(rest[k]) + "'");
    return accept();
}

void hand_over(const command& c, const checked_line& checked, std::vector<char*>& line) {
    if (c.takes_parsed_options) hand_options(checked.options);
    const auto text = [](const checked_line::element& e) {
        return e.spelled ? const_cast<char*>(e.spelled->c_str()) : e.given;
    };
    line.resize(1);
    for (const checked_line::element& e : checked.front)
        if (!(e.own && c.takes_parsed_options)) line.push_back(text(e));
    for (const checked_line::element& e : checked.operands) line.push_back(text(e));
}

}  // namespace telvar
