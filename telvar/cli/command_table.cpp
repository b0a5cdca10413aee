// The command words of the tool, in the order of the usage text.
#include "telvar/cli/command_table.h"

#include <algorithm>
#include <array>

#include "telvar/commands/command_cores.h"
#include "telvar/commands/tool_commands.h"
#include "telvar/data/data_cmds.h"
#include "telvar/pictures/fabric_picture.h"
#include "telvar/telvar.h"

namespace telvar {

namespace {

namespace t = tool;
// The library's commands by their cores, which return outcomes, rather than by the exported
// functions of the same names.
using namespace cores;

constexpr std::array table{
    command{"discover", t::discover, 2, 2, {}, {"-m <quad> -j <1-65536> --all", "<quad> [<count>]"}},
    command{"version", t::version, 4, 1, {}, {"", "<ip>"}},
    command{"chassis_status", t::chassis_status, 5, 1, {}, {"", "<ip>"}},
    command{"chassis_mode", chassis_mode, 6, 2, {}, {"-s on|off|test", "<ip>"}},
    command{"chassis_tovs", chassis_tovs, 8, 2, {}, {"-s -m <n> -e <n> -a <n> -t <n>", "<ip>"}},
    command{"initiators", t::initiators, 10, 1, {}, {"", "<ip>"}},
    command{"defaults", defaults, 11, 1, {}, {"", "<ip> <file>"}},
    command{"links", t::links, 12, 1, {}, {"", "<ip>"}},
    command{"nameserver", t::nameserver, 13, 1, {}, {"", "<ip>"}},
    command{"port_status", t::port_status, 15, 2, {}, {"-a", "<ip> <port>|all"}},
    command{"port_counts", t::port_counts, 17, 1, {}, {"", "<ip> <port>|all"}},
    command{"port_state", t::port_state, 18, 1, {}, {"-s on|off", "<ip> <port>|all"}},
    command{"port_type", t::port_type, 19, 1, {}, {"-s f|fl|t|sl|tl", "<ip> <port>|all"}},
    command{"port_mfs_mode", port_mfs_mode, 20, 1, {}, {"-s -M <n>", "<ip> <port>|all"}},
    command{"port_steering", port_steering, 21, 1, {}, {"", "<ip> <port>|all"}},
    command{"reset_log", t::reset_log, 23, 1, {}, {"", "<ip>"}},
    command{"start_test", t::start_test, 24, 2,
            "	where -x is the transfer size (2000), -n the passes (10; 0 runs until stopped),\n"
            "	-r resets the test log first, -t the pattern in hex (7e7e7e7e), and -w waits\n"
            "	that many milliseconds and shows the test status\n", {"-x <n> -n <n> -r -t <hex> -w <n>", "<ip> <port>|all"}},
    command{"stop_test", t::stop_test, 26, 1, {}, {"", "<ip> <port>|all"}},
    command{"test_status", t::test_status, 27, 1,
            "	where port_test_status is 0 idle, 1 running, 2 passed, 3 failed, 4 stopped\n", {"", "<ip> <port>|all"}},
    command{"get_zone", t::get_zone, 29, 2, {}, {"-s", "<ip> hd|ns|bcst|sl|<n> <n>|all"}},
    command{"set_zone", t::set_zone, 31, 2, {}, {"-s -e", "<ip> hd|ns|bcst|sl|<n> <n> <ports>|none..."}},
    command{"disable_zone_type", disable_zone_type, 33, 2, {}, {"-s", "<ip> hd|ns|bcst|sl|<n> [<n>|all]"}},
    command{"ns_zone_type", ns_zone_type, 36, 2, {}, {"-s port|wwn", "<ip>"}},
    command{"wwn_zone", wwn_zone, 38, 4, {}, {"-s -r <n>", "<ip>"}},
    command{"get_wwn_zone", get_wwn_zone, 42, 1, {}, {"", "<ip>"}},
    command{"set_wwn_zone", set_wwn_zone, 43, 2, {}, {"-i", "<ip> <n> <wwn> [<word>]"}},
    command{"rem_wwn_zone", rem_wwn_zone, 45, 1, {}, {"", "<ip> <n> <wwn> [<word>]"}},
    command{"switch_reset", t::switch_reset, 47, 1, {}, {"", "<ip>"}},
    command{"message", message, 48, 1, {}, {"", "<ip> <file>"}},
    // Commands that the usage text does not list.
    command{"smlget", smlget, 0, 0,
            "    telvar smlget [global flags] <ip-address> <words...>\n"
            "\twhere the words name a management variable, e.g. show port 3\n",
            {"", "<ip> <word>..."}},
    command{"smlset", smlset, 0, 0,
            "    telvar smlset [global flags] <ip-address> <words...>\n"
            "\twhere the words name a variable and its value, e.g. set port 3 speed 2\n",
            {"", "<ip> <word>..."}},
    command{"user_add", t::user_add, 0, 0,
            "    telvar user_add [global flags] <ip-address> <user> <password> <level>\n"
            "\twhere level is 1, 2 or 3 (3 manages accounts); needs -u and -p\n",
            {"", "<ip> <word> <word> <word>"}},  // the level is checked by the command
    command{"user_delete", t::user_delete, 0, 0,
            "    telvar user_delete [global flags] <ip-address> <user>\n"
            "\twhere user is not the one of -u; needs -u and -p\n",
            {"", "<ip> <word>"}},
    command{"passwd", t::passwd, 0, 0,
            "    telvar passwd [global flags] <ip-address> <new-password>\n"
            "\tchanges the password of the user of -u; needs -u and -p\n",
            {"", "<ip> <word>"}},
    command{"get_trap_config", get_trap_config, 49, 1, {}, {"", "<ip>"}},
    command{"set_trap_config", set_trap_config, 50, 2, {}, {"", "<ip> <n> <word> <int> <int>"}},
    command{"set_trapping", set_trapping, 52, 1, {}, {"-i <n> -t enabled|disabled", "<ip>"}},
    command{"trap_listen", trap_listen, 53, 1,
            "\twhere -t <seconds> stops listening after that time; a key stops it too\n",
            {"-t <seconds>", "<ip>"}},
    command{"trap_test", trap_test, 0, 0, "    telvar trap_test <ip-address> <counter> <value>\n",
            {"", "<ip> <n> <int>"}},
    // The fabric as data (docs/json.md); `telvar --json <command>` gives any report as JSON.
    command{"snapshot", data::snapshot, 0, 0,
            "    telvar snapshot [-o <file>] [global flags] <ip-address>\n"
            "\tthe whole fabric as one JSON document (standard output without -o)\n",
            {"-o <file>", "<ip>"}, true},
    command{"diff", data::diff, 0, 0,
            "    telvar diff [--all] <snapshot-a> <snapshot-b>\n"
            "\twhat changed; --all also compares uptime and temperature. Exit 0 equal, 1 not\n",
            {"--all", "<file> <file>"}, true},
    command{"locate", data::locate, 0, 0,
            "    telvar locate [global flags] <ip-address>|--snapshot <file> <WWN|FC-address>\n"
            "\tthe switch, port and zones of a device\n",
            {"--snapshot", "<word> [<word>]"}, true},
    command{"zone_lint", data::zone_lint, 0, 0,
            "    telvar zone_lint [global flags] <ip-address>|--snapshot <file>\n"
            "\tzoning problems of the fabric; exit 1 when there are any\n",
            {"--snapshot", "<word>"}, true},
    command{"zone_apply", data::zone_apply, 0, 0,
            "    telvar zone_apply [--dry-run] [-s] [global flags] <ip-address> <file>\n"
            "\tmakes the switch's zoning that of the file; -s saves. Exit 0 unchanged, 1 changed\n",
            {"--dry-run -s", "<ip> <file>"}, true},
    // Pictures of the fabric, from a live walk or a snapshot file.
    command{"map", picture::map, 0, 0,
            "    telvar map [-o <file>] [--devices] [global flags] <ip-address>|<snapshot-file>\n"
            "\tthe fabric as an SVG picture laid out by Graphviz; --devices draws every device\n",
            {"-o <file> --devices", "<ip>|<file>"}, true},
    command{"panel", picture::panel, 0, 0,
            "    telvar panel [-o <file>] [global flags] <ip-address>|<snapshot-file> [<switch>]\n"
            "\teach switch, or the one of that chassis number, FC address or WWN, as an SVG front panel\n",
            {"-o <file>", "<ip>|<file> [<word>]"}, true},
};

static_assert(std::ranges::all_of(table, [](const command& c) {
    return c.fn.returns_exit_status() == c.returns_exit_status;
}));

}  // namespace

std::span<const command> commands() { return table; }

const command* find_command(std::string_view word) {
    const auto it = std::ranges::find(table, word, &command::word);
    return it == table.end() ? nullptr : &*it;
}

}  // namespace telvar
