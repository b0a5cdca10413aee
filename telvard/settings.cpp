// telvard's command line and configuration file (see settings.h).
#include "telvard/settings.h"

#include <arpa/inet.h>

#include <algorithm>
#include <charconv>
#include <cstdlib>
#include <sstream>

#include "proto/whole_file.h"

namespace telvard {

const char* const usage_text =
    "Usage: telvard [--config FILE] [--db URL] [--interval SECONDS] [--once]\n"
    "               [--credentials FILE] [--verbose] [ADDRESS...]\n"
    "Watches the fabrics walked from each ADDRESS (and those of the configuration file): every\n"
    "interval it reads each fabric and records what changed, and it records every trap the\n"
    "switches send, for `telvar history`, `telvar events` and `telvar snapshot --at`.\n"
    "\n"
    "  --config FILE       settings, one `NAME VALUE` a line (see telvard(8))\n"
    "  --db URL            sqlite:PATH or a postgresql:// URL (default: TELVAR_DB, else the\n"
    "                      file's db, else ~/.local/state/telvar/history.db)\n"
    "  --interval SECONDS  between readings (default 300)\n"
    "  --once              read every fabric once, record, and exit (for cron)\n"
    "  --credentials FILE  logins for the switches (the tool's credentials file)\n"
    "  --verbose           a line for every reading, changed or not\n"
    "  --listen ADDR:PORT  serve the web console and its JSON API there (127.0.0.1:9470)\n"
    "  --tokens FILE       the console's tokens, `read TOKEN` or `admin TOKEN` a line; the\n"
    "                      file must be readable by its owner only (needed with --listen)\n"
    "  --cert FILE --key FILE  serve the console over TLS (PEM certificate and key)\n"
    "Exit status: 0 stopped by SIGINT or SIGTERM, or --once done; 1 a command-line or\n"
    "configuration mistake; 2 the database cannot be opened; 3 with --once, a fabric\n"
    "could not be read.\n";

namespace {

// A configuration file is a few dozen lines.
constexpr std::uint64_t max_config_bytes = 64 * 1024;

std::optional<int> number(std::string_view text, int low, int high) {
    int v = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
    if (ec != std::errc() || end != text.data() + text.size() || v < low || v > high) return std::nullopt;
    return v;
}

bool ipv4(const std::string& text) {
    in_addr a{};
    return inet_pton(AF_INET, text.c_str(), &a) == 1;
}

// Adds a fabric once; false with the reason.
bool add_fabric(settings& s, const std::string& address, std::string& error) {
    if (!ipv4(address)) {
        error = address + ": not a dotted IPv4 address";
        return false;
    }
    if (std::find(s.fabrics.begin(), s.fabrics.end(), address) == s.fabrics.end()) s.fabrics.push_back(address);
    return true;
}

// One setting; false with the reason.
bool apply(settings& s, const std::string& name, const std::string& value, std::string& error) {
    const auto in_range = [&](int& field, int low, int high) {
        const auto v = number(value, low, high);
        if (!v) error = name + " takes a whole number from " + std::to_string(low) + " to " + std::to_string(high);
        else field = *v;
        return v.has_value();
    };
    if (name == "fabric") return add_fabric(s, value, error);
    if (name == "interval") return in_range(s.interval_s, 1, 7 * 24 * 3600);
    if (name == "retention_days") return in_range(s.retention_days, 0, 100 * 366);
    if (name == "trap_port") return in_range(s.trap_port, 0, 65535);
    if (name == "alert_hold") return in_range(s.alert_hold_s, 1, 7 * 24 * 3600);
    if (name == "db") s.db = value;
    else if (name == "credentials") s.credentials = value;
    else if (name == "syslog_socket") s.syslog_socket = value;
    else if (name == "alertmanager") {
        if (!value.starts_with("http://") && !value.starts_with("https://")) {
            error = "alertmanager takes an http:// or https:// URL";
            return false;
        }
        s.alertmanager = value;
    } else if (name == "syslog") {
        if (value != "on" && value != "off") {
            error = "syslog takes on or off";
            return false;
        }
        s.syslog = value == "on";
    } else {
        error = "unknown setting " + name;
        return false;
    }
    return true;
}

}  // namespace

bool parse_listen(const std::string& text, std::string& address, std::uint16_t& port, std::string& error) {
    const std::size_t colon = text.rfind(':');
    const std::optional<int> n = colon == std::string::npos ? std::nullopt : number(std::string_view(text).substr(colon + 1), 0, 65535);
    if (!n || !ipv4(text.substr(0, colon))) {
        error = "--listen: '" + text + "' is not ADDRESS:PORT (a dotted IPv4 address, a port from 0 to 65535)";
        return false;
    }
    address = text.substr(0, colon);
    port = static_cast<std::uint16_t>(*n);
    return true;
}

bool parse_file(const std::string& text, settings& out, std::string& error) {
    std::istringstream lines(text);
    std::string line;
    for (int n = 1; std::getline(lines, line); ++n) {
        if (const auto hash = line.find('#'); hash != std::string::npos) line.erase(hash);
        std::istringstream words(line);
        std::string name, value, extra;
        if (!(words >> name)) continue;
        if (!(words >> value) || (words >> extra)) {
            error = "line " + std::to_string(n) + ": `" + name + " VALUE` expected";
            return false;
        }
        if (!apply(out, name, value, error)) {
            error = "line " + std::to_string(n) + ": " + error;
            return false;
        }
    }
    return true;
}

bool parse(int argc, char** argv, settings& out, std::string& error, bool& help) {
    help = false;
    settings line;  // what the command line says, laid over the file's afterwards
    std::optional<std::string> config, db, credentials, listen;
    std::optional<int> interval;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const auto value = [&]() -> std::optional<std::string> {
            if (i + 1 >= argc) {
                error = a + " needs a value";
                return std::nullopt;
            }
            return std::string(argv[++i]);
        };
        if (a == "--help" || a == "-h") {
            help = true;
            return true;
        } else if (a == "--once") {
            line.once = true;
        } else if (a == "--verbose" || a == "-v") {
            line.verbose = true;
        } else if (a == "--config" || a == "--db" || a == "--credentials" || a == "--interval" || a == "--listen" ||
                   a == "--tokens" || a == "--cert" || a == "--key") {
            const auto v = value();
            if (!v) return false;
            if (a == "--listen") listen = v;
            else if (a == "--tokens") line.tokens = *v;
            else if (a == "--cert") line.certificate = *v;
            else if (a == "--key") line.key = *v;
            else if (a == "--config") config = v;
            else if (a == "--db") db = v;
            else if (a == "--credentials") credentials = v;
            else if (!(interval = number(*v, 1, 7 * 24 * 3600))) {
                error = "--interval takes a whole number of seconds from 1 to 604800";
                return false;
            }
        } else if (a.starts_with("-")) {
            error = "unknown option " + a;
            return false;
        } else if (!add_fabric(line, a, error)) {
            return false;
        }
    }
    out = settings{};
    if (config) {
        const tv::whole_file f = tv::read_whole_file(config->c_str(), max_config_bytes);
        if (!f) {
            error = *config + ": " + tv::file_fault_text(f, max_config_bytes);
            return false;
        }
        if (!parse_file(f.text, out, error)) {
            error = *config + ": " + error;
            return false;
        }
    }
    for (const std::string& f : line.fabrics) add_fabric(out, f, error);
    out.once = line.once;
    out.verbose = line.verbose;
    if (interval) out.interval_s = *interval;
    if (credentials) out.credentials = credentials;
    if (db) out.db = *db;
    else if (const char* env = std::getenv("TELVAR_DB"); env != nullptr && *env != '\0') out.db = env;
    if (listen && !parse_listen(*listen, out.listen_address, out.listen_port, error)) return false;
    out.listening = listen.has_value();
    out.tokens = line.tokens;
    out.certificate = line.certificate;
    out.key = line.key;
    if (out.listening && out.tokens.empty()) {
        error = "the console needs --tokens FILE";
        return false;
    }
    if (!out.listening && (!out.tokens.empty() || !out.certificate.empty() || !out.key.empty())) {
        error = "--tokens, --cert and --key are the console's: give --listen ADDR:PORT too";
        return false;
    }
    if (out.certificate.empty() != out.key.empty()) {
        error = "TLS needs both --cert FILE and --key FILE";
        return false;
    }
    if (out.listening && out.once) {
        error = "--once reads and exits: the console (--listen) is served only by a watcher that stays";
        return false;
    }
    if (out.fabrics.empty()) {
        error = "no fabric to watch: give an ADDRESS, or `fabric ADDRESS` in --config FILE";
        return false;
    }
    return true;
}

}  // namespace telvard
