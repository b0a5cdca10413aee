// What telvard is told: its command line over its configuration file.
//
//   telvard [--config FILE] [--db URL] [--interval SECONDS] [--once] [--credentials FILE]
//           [--listen ADDR:PORT --tokens FILE [--cert FILE --key FILE]] ADDRESS...
//
// The configuration file has one setting a line, `NAME VALUE`; '#' starts a comment:
//
//   fabric 10.0.0.1            # a fabric, by the address it is walked from; repeatable
//   interval 300               # seconds between readings
//   db sqlite:/var/lib/telvar/history.db
//   credentials /etc/telvar/credentials
//   retention_days 365         # readings, changes and events older than this are forgotten
//   trap_port 9471             # the UDP port traps come to (0: one the system picks)
//   syslog on                  # each trap to syslog(3)
//   syslog_socket /dev/log     # ... or to this datagram socket instead
//   alertmanager http://127.0.0.1:9093
//   alert_hold 900             # seconds an alert stays active
//
// The command line's addresses add fabrics to the file's; its --db, --interval and
// --credentials win over the file; the database is --db, else TELVAR_DB, else the file's,
// else history::default_url().
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace telvard {

struct settings {
    std::vector<std::string> fabrics;  // dotted IPv4 addresses, each once
    std::string db;
    int interval_s = 300;
    bool once = false;
    std::optional<std::string> credentials;
    int retention_days = 365;
    int trap_port = 0;
    bool syslog = true;
    std::string syslog_socket;
    std::string alertmanager;
    int alert_hold_s = 900;
    bool verbose = false;
    // The console: served only with --listen, which needs --tokens.
    bool listening = false;
    std::string listen_address;
    std::uint16_t listen_port = 0;
    std::string tokens, certificate, key;
};

// "ADDRESS:PORT" (dotted IPv4, port 0 to 65535) split; false with the reason.
bool parse_listen(const std::string& text, std::string& address, std::uint16_t& port, std::string& error);

// The settings of a command line (argv[1..]) and the file it names; on a mistake, false with
// one line that says what is wrong in `error`. `help` is set for --help.
bool parse(int argc, char** argv, settings& out, std::string& error, bool& help);

// The settings of a configuration file's text, added to `out`; false with "line N: why".
bool parse_file(const std::string& text, settings& out, std::string& error);

extern const char* const usage_text;

}  // namespace telvard
