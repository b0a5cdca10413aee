// The descriptions of the command words of the tool (see command_table.h), in the order of the
// usage text, and the global options.
#include "telvar/cli/command_table.h"

#include <algorithm>
#include <array>

#include "telvar/cli/input_files.h"
#include "telvar/commands/command_cores.h"
#include "telvar/commands/tool_commands.h"
#include "telvar/data/data_cmds.h"
#include "telvar/pictures/fabric_picture.h"
#include "telvar/telvar.h"

namespace telvar {

namespace {

namespace t = tool;
namespace j = data::json_form;

// A command that treats the fabric as data or draws it: it returns its own exit status and takes
// the options of its description from the dispatcher.
constexpr command data_command(command c) {
    c.returns_exit_status = true;
    c.takes_parsed_options = true;
    return c;
}
// A data command whose exit status follows diff(1): 0 same, 1 different or changed, 2 trouble,
// a refused command line included.
constexpr command comparing(command c) {
    c.compares = true;
    return data_command(c);
}
// A command without a port operand that still needs the switch's port count when it opens.
constexpr command counting_ports(command c) {
    c.counts_ports = true;
    return c;
}
// A command whose input file the dispatcher reads first, under `rule`.
constexpr command reading(command c, const tool::input_rule& rule) {
    c.input = &rule;
    return c;
}
// The library's commands by their cores, which return outcomes, rather than by the exported
// functions of the same names.
using namespace cores;

constexpr std::array table{
    command{"discover", t::discover, {"-m <quad> -j <1-65536> --all --sequential", "<quad> [<count>]"}, "{ip} 2",
            "\twhere -j is how many addresses are probed at a time (the whole range; 256 on a\n"
            "\tsubnet this host is attached to), --all allows more than\n"
            "\t65536 addresses, --sequential probes one address after another (about 0.23 s\n"
            "\tfor each address where nothing answers)\n",
            j::discover},
    command{"version", t::version, {"", "<ip>"}, "{ip}", {}, j::version},
    command{"chassis_status", t::chassis_status, {"", "<ip>"}, "{ip}", {}, j::chassis_status},
    command{"chassis_mode", chassis_mode, {"-s on|off|test", "<ip>"}, "{ip}", {}, j::chassis_mode},
    command{"chassis_tovs", chassis_tovs, {"-s -m <n> -e <n> -a <n> -t <n>", "<ip>"}, "{ip}", {}, j::chassis_tovs},
    command{"initiators", t::initiators, {"", "<ip>"}, "{ip}", {}, j::initiators},
    reading(command{"defaults", defaults, {"", "<ip> <file>"}, "{ip} switch-defaults.txt"}, tool::defaults_input),
    command{"links", t::links, {"", "<ip>"}, "{ip}", {}, j::links},
    command{"nameserver", t::nameserver, {"", "<ip>"}, "{ip}", {}, j::nameserver},
    command{"port_status", t::port_status, {"-a", "<ip> <port>|all"}, "{ip} 3", {}, j::port_status},
    command{"port_counts", t::port_counts, {"", "<ip> <port>|all"}, "{ip} 3", {}, j::port_counts},
    command{"port_state", t::port_state, {"-s on|off", "<ip> <port>|all"}, "{ip} 3", {}, j::port_state},
    command{"port_type", t::port_type, {"-s f|fl|t|sl|tl", "<ip> <port>|all"}, "{ip} 3", {}, j::port_type},
    command{"port_mfs_mode", port_mfs_mode, {"-s -M <n>", "<ip> <port>|all"}, "{ip} 3", {}, j::port_mfs_mode},
    command{"port_steering", port_steering, {"", "<ip> <port>|all"}, "{ip} 3", {}, j::port_steering},
    command{"reset_log", t::reset_log, {"", "<ip>"}, "{ip}"},
    command{"start_test", t::start_test, {"-x <n> -n <n> -r -t <hex> -w <n>", "<ip> <port>|all"}, "{ip} 3",
            "\twhere -x is the transfer size (2000), -n the passes (10; 0 runs until stopped),\n"
            "\t-r resets the test log first, -t the pattern in hex (7e7e7e7e), and -w waits\n"
            "\tthat many milliseconds and shows the test status\n"},
    command{"stop_test", t::stop_test, {"", "<ip> <port>|all"}, "{ip} 3"},
    command{"test_status", t::test_status, {"", "<ip> <port>|all"}, "{ip} 3",
            "\twhere port_test_status is 0 idle, 1 running, 2 passed, 3 failed, 4 stopped\n", j::test_status},
    command{"get_zone", t::get_zone, {"-s", "<ip> hd|ns|bcst|sl|<1-4> <zone>|all"}, "{ip} hd 1", {}, j::get_zone},
    command{"set_zone", t::set_zone, {"-s -e", "<ip> hd|ns|bcst|sl|<1-4> <zone> <ports>|none..."}, "{ip} hd 1 2 5-8"},
    command{"disable_zone_type", disable_zone_type, {"-s", "<ip> hd|ns|bcst|sl|<1-4> [<zone>|all]"}, "{ip} hd"},
    command{"ns_zone_type", ns_zone_type, {"-s port|wwn", "<ip>"}, "{ip}", {}, j::ns_zone_type},
    command{"wwn_zone", wwn_zone, {"-s -r 0|1|2", "<ip>"}, "-s {ip}"},
    command{"get_wwn_zone", get_wwn_zone, {"", "<ip>"}, "{ip}", {}, j::get_wwn_zone},
    command{"set_wwn_zone", set_wwn_zone, {"-i", "<ip> <0-255> <wwn> [<word>]"}, "{ip} 1 200000c0dd00cafe disk"},
    command{"rem_wwn_zone", rem_wwn_zone, {"", "<ip> <0-255> <wwn> [<word>]"}, "{ip} 1 200000c0dd00cafe disk"},
    command{"switch_reset", t::switch_reset, {"", "<ip>"}, "{ip}"},
    reading(command{"message", message, {"", "<ip> <file>"}, "{ip} request.txt"}, tool::message_input),
    // Commands that the usage text does not list.
    command{"smlget", smlget, {"", "<ip> <word>..."}, "{ip} show port 3",
            "    telvar smlget [global flags] <ip-address> <words...>\n"
            "\twhere the words name a management variable, e.g. show port 3\n",
            j::smlget},
    command{"smlset", smlset, {"", "<ip> <word>..."}, "{ip} set port 3 speed 2",
            "    telvar smlset [global flags] <ip-address> <words...>\n"
            "\twhere the words name a variable and its value, e.g. set port 3 speed 2\n"},
    // The level is checked by the command.
    command{"user_add", t::user_add, {"", "<ip> <word> [<word>] <word>"}, "-u admin -p password {ip} guest secret 1",
            "    telvar user_add [global flags] <ip-address> <user> [<password>] <level>\n"
            "\twhere level is 1, 2 or 3 (3 manages accounts); needs -u and -p (or a credentials\n"
            "\tfile entry); a password left out is asked for twice, else $TELVAR_NEW_PASSWORD\n"},
    command{"user_delete", t::user_delete, {"", "<ip> <word>"}, "-u admin -p password {ip} guest",
            "    telvar user_delete [global flags] <ip-address> <user>\n"
            "\twhere user is not the one of -u; needs -u and -p (or a credentials file entry)\n"},
    command{"passwd", t::passwd, {"", "<ip> [<word>]"}, "-u admin -p password {ip} secret",
            "    telvar passwd [global flags] <ip-address> [<new-password>]\n"
            "\tchanges the password of the user of -u; needs -u and -p (or a credentials file\n"
            "\tentry); a new password left out is asked for twice, else $TELVAR_NEW_PASSWORD\n"},
    command{"get_trap_config", get_trap_config, {"", "<ip>"}, "{ip}", {}, j::get_trap_config},
    command{"set_trap_config", set_trap_config, {"", "<ip> <0-31> <enabled> <int> <int>"}, "{ip} 5 1 100 10"},
    command{"set_trapping", set_trapping, {"-i <n> -t enabled|disabled", "<ip>"}, "{ip}"},
    command{"trap_listen", trap_listen, {"-t <seconds>", "<ip>"}, "-t 1 {ip}",
            "\twhere -t <seconds> stops listening after that time; a key stops it too\n"},
    command{"trap_test", trap_test, {"", "<ip> <0-31> <int>"}, "{ip} 3 100",
            "    telvar trap_test <ip-address> <counter> <value>\n"},
    // The fabric as data (docs/json.md); `telvar --json <command>` gives any report as JSON.
    // With --at, a fabric that telvard watches, rebuilt from its history: no operand, or the
    // fabric's name, takes the address's place.
    data_command({"snapshot", data::snapshot, {"-o <file> --at <word> --db <word>", "<ip>|--at [<word>]"}, "{ip}",
                  "    telvar snapshot [-o <file>] [global flags] <ip-address>\n"
                  "\tthe whole fabric as one JSON document (standard output without -o)\n"
                  "    telvar snapshot --at <time> [--db <url>] [-o <file>] [<fabric>]\n"
                  "\tthe fabric as it stood then, from the history that telvard records\n",
                  data::snapshot}),
    comparing({"diff", data::diff, {"--all", "<file> <file>"}, "a.json b.json",
                  "    telvar diff [--all] <snapshot-a> <snapshot-b>\n"
                  "\twhat changed; --all also compares uptime and temperature. Exit 0 equal, 1 not, 2 trouble\n",
                  data::diff}),
    data_command({"locate", data::locate, {"--snapshot <file>", "<ip>|<snapshot>|--snapshot <wwn>|<fcaddr>"}, "{ip} 200000c0dd00cafe",
                  "    telvar locate [global flags] <ip-address>|<snapshot-file> <WWN|FC-address>\n"
                  "\tthe switch, port and zones of a device; --snapshot <file> also names the file\n",
                  data::locate}),
    comparing({"zone_lint", data::zone_lint, {"--snapshot <file>", "<ip>|<snapshot>|--snapshot"}, "{ip}",
                  "    telvar zone_lint [global flags] <ip-address>|<snapshot-file>\n"
                  "\tzoning problems of the fabric; --snapshot <file> also names the file.\n"
                  "\tExit 0 none, 1 some, 2 trouble\n",
                  data::zone_lint}),
    counting_ports(comparing({"zone_apply", data::zone_apply, {"--dry-run -s", "<ip> <file>"}, "{ip} zones.json",
                  "    telvar zone_apply [--dry-run] [-s] [global flags] <ip-address> <file>\n"
                  "\tmakes the switch's zoning that of the file; -s saves. Exit 0 unchanged, 1 changed, 2 trouble\n",
                  data::zone_apply})),
    // The history that telvard records (docs/history.md): no switch is asked.
    data_command({"history", data::history, {"--since <word> --until <word> --switch <word> --kind <word> --db <word>", "[<word>]"},
                  "--db history.db --since 1h",
                  "    telvar history [--since <time>] [--until <time>] [--switch <switch>] [--kind <kind>] [--db <url>] [<fabric>]\n"
                  "\twhat changed in the fabrics telvard watches: a time is 2026-12-06T10:15Z (local\n"
                  "\twithout a zone), 2026-12-06 or a span back from now (90m, 12h, 7d); a switch its\n"
                  "\tchassis number, FC address or WWN; kinds (repeated or with commas) as docs/history.md\n"
                  "\tlists them. The database: --db, else $TELVAR_DB, else the default of telvard\n",
                  data::history}),
    data_command({"events", data::events, {"--since <word> --until <word> --switch <word> --db <word>", "[<word>]"},
                  "--db history.db --since 1h",
                  "    telvar events [--since <time>] [--until <time>] [--switch <switch>] [--db <url>] [<fabric>]\n"
                  "\tthe traps telvard received, as history takes its times and switches\n",
                  data::events}),
    // Pictures of the fabric, from a live walk or a snapshot file.
    data_command({"map", picture::map, {"-o <file> --devices", "<ip>|<snapshot>"}, "{ip}",
                  "    telvar map [-o <file>] [--devices] [global flags] <ip-address>|<snapshot-file>\n"
                  "\tthe fabric as an SVG picture laid out by Graphviz; --devices draws every device\n"}),
    data_command({"panel", picture::panel, {"-o <file>", "<ip>|<snapshot> [<word>]"}, "{ip} 1",
                  "    telvar panel [-o <file>] [global flags] <ip-address>|<snapshot-file> [<switch>]\n"
                  "\teach switch, or the one of that chassis number, FC address or WWN, as an SVG front panel\n"}),
};

static_assert(std::ranges::all_of(table, [](const command& c) {
    return c.fn.returns_exit_status() == c.returns_exit_status;
}));

// The options of the dispatcher and of check_global_switches, in the order `telvar help` names them.
constexpr std::array globals{
    global_option{"-port", "<portno>", {}, false},  // the usage text describes -port and -f
    global_option{"-f", "<fcaddr>", {}, false},
    global_option{"-u", "<user>", "log in first, on switches that require it (without -u: as the credentials file says)", false},
    global_option{"-p", "<password>", "the password of -u (without -p: the credentials file's, asked on a terminal, else $TELVAR_PASSWORD)", false},
    global_option{"-y", {}, "do not ask before a reset or a change of ports that carry links", false},
    global_option{"--yes", {}, "the same as -y", false},
    global_option{"-q", {}, "quiet: no hints and no progress on standard error (reports and errors stay)", false},
    global_option{"-v", {}, "verbose: say on standard error which switch is addressed, from which local port", false},
    global_option{"-h", {}, "help; after a command word, the help of that command", false},
    global_option{"--json", {}, "the report as one JSON document (docs/json.md)", false},
    global_option{"--timeout", "<ms>", "give up on a silent switch after about this long per request (default 500)", false},
    global_option{"--wait", "<ms>", "wait this long for each answer before asking again (default 70)", false},
    global_option{"--lenient", {}, "take every answer the protocol allows, not only trustworthy ones", true},
    global_option{"--version", {}, "print the version of the tool and end", true},
    global_option{"--help", {}, "the same as help", true},
};

// The command word that a line of the usage text starts, or empty.
std::string_view word_started_by(std::string_view line) {
    for (const std::string_view lead : {std::string_view("    telvar "), std::string_view("\tor telvar ")}) {
        if (!line.starts_with(lead)) continue;
        line.remove_prefix(lead.size());
        return line.substr(0, line.find_first_of(" \n"));
    }
    return {};
}

}  // namespace

std::span<const command> commands() { return table; }

const command* find_command(std::string_view word) {
    const auto it = std::ranges::find(table, word, &command::word);
    return it == table.end() ? nullptr : &*it;
}

std::vector<int> usage_lines(std::string_view word) {
    std::vector<int> out;
    std::string_view owner;
    for (int i = 1; i < TELVAR_USAGE_LINES; ++i) {
        const std::string_view line = Usage[i];
        if (const std::string_view started = word_started_by(line); !started.empty())
            owner = started;
        else if (line.starts_with('\n') || line == "Usage:\n")
            owner = {};  // a blank line or the global flags end a command's lines
        if (!word.empty() && owner == word) out.push_back(i);
    }
    return out;
}

std::span<const global_option> global_options() { return globals; }

bool reads_port_count(const command& c) {
    return c.counts_ports || c.args.operands.find("<port") != std::string_view::npos;
}

std::string usage_of(const command& c) {
    std::string out;
    for (const int i : usage_lines(c.word)) out += Usage[i];
    if (!out.empty()) return out;
    std::string_view help = c.help;
    while (!help.empty()) {
        const std::size_t end = std::min(help.find('\n'), help.size() - 1) + 1;
        if (help.starts_with("    telvar ")) out += help.substr(0, end);
        help.remove_prefix(end);
    }
    return out;
}

}  // namespace telvar
