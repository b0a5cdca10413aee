// The telvar tool: `telvar <command> [flags] <ip-address> ...`. The dispatcher looks the
// command word up in its table (command_table.cpp), runs the command and exits with the status
// it returns.
//
// Reports go to standard output (the library's default stream is standard error), so that
// they can be piped. The tool takes only trustworthy answers (strict answer mode, unless
// --lenient is given before the command word) and logs out of what it logged into.
//
// Exit statuses (the command functions keep their own return values; the dispatcher learns of
// the failures they printed through print_error's observer):
//   0  the command did what it was asked
//   1  a command-line error (usage text, an unknown command, a bad port number)
//   2  the switch or the network reported a failure
//   3  no context could be set up (a bad address, no socket, a refused login)
// The data commands (diff, zone_apply, zone_lint, locate, snapshot) return their own statuses,
// and --json before the command word gives a report as one JSON document (data_cmds.h).
#include <sys/random.h>

#include <cerrno>
#include <cstdio>
#include <string_view>
#include <vector>

#include "command_table.h"
#include "data_cmds.h"
#include "output.h"
#include "session_guard.h"
#include "telvar.h"

namespace {

// `telvar help WORD`: the command's lines of the usage text.
int help_for(std::string_view word) {
    const telvar::command* c = telvar::find_command(word);
    if (c == nullptr) {
        std::fprintf(stderr, "telvar: unknown command '%.*s'\n", static_cast<int>(word.size()),
                     word.data());
        return 1;
    }
    for (int i = 0; i < c->usage_count; ++i) telvar::print("%s", Usage[c->usage_first + i]);
    telvar::print("%.*s", static_cast<int>(c->help.size()), c->help.data());
    return 0;
}

namespace exit_status {
constexpr int done = 0, command_line = 1, failure = 2, no_context = 3;
}

std::vector<int32_t> printed_codes;

void hint_login(int32_t code);

void remember_printed(int32_t code) {
    printed_codes.push_back(code);
    hint_login(code);
}

// The exit status of a command from what it returned and what it printed.
int exit_status_of(int32_t returned) {
    // 301: an argument was refused before anything was sent.
    if (returned == TV_ERR_PARAM) return exit_status::command_line;
    if (returned != 0)
        return telvar::tool::context_was_opened() ? exit_status::failure : exit_status::no_context;
    bool bad_port = false;
    for (const int32_t code : printed_codes) {
        if (code == TV_ERR_PARAM) return exit_status::command_line;
        if (code != 0) return exit_status::failure;
        bad_port = true;  // "bad port number", then the status after closing: "Error: OK"
    }
    return bad_port ? exit_status::command_line : exit_status::done;
}

// Sequence numbers start at an unpredictable value rather than the process id, so that a late
// answer to an earlier process on the same local port cannot carry a number this one uses.
void seed_sequence_numbers() {
    uint32_t seed = 0;
    if (getrandom(&seed, sizeof seed, GRND_NONBLOCK) == sizeof seed) msg_seq_num = seed;
}

// `telvar help`: the usage text, then the login flags and the commands it does not list.
void help_all() {
    telvar::print_usage();
    telvar::print("\t-u <user> -p <password>\tlog in first, on switches that require it\n"
                  "\nmore commands:\n");
    for (const telvar::command& c : telvar::commands())
        if (c.usage_count == 0) telvar::print("%.*s", static_cast<int>(c.help.size()), c.help.data());
}

// A switch that answers "login required" gets the user told, once, how to give a login.
void hint_login(int32_t code) {
    static bool told = false;
    if (code != TV_ERR_LOGIN_REQUIRED || told) return;
    told = true;
    std::fputs("telvar: the switch requires a login: give -u <user> -p <password> before the "
               "ip-address\n", stderr);
}

}  // namespace

int main(int argc, char** argv) {
    fp = stdout;
    tv_api_open(stderr);
    tv_set_strict_answers(1);
    bool json = false;
    for (; argc >= 2 && (std::string_view(argv[1]) == "--lenient" || std::string_view(argv[1]) == "--json"); --argc, ++argv) {
        if (std::string_view(argv[1]) == "--json")
            json = true;
        else
            tv_set_strict_answers(0);
    }
    if (tv_get_strict_answers()) seed_sequence_numbers();
    telvar::tool::guard_sessions();
    telvar::set_print_error_observer(remember_printed);
    if (argc < 2) usage();
    const std::string_view word = argv[1];
    if (word == "help" || word == "-h" || word == "--help") {
        if (argc > 2) return help_for(argv[2]);
        help_all();
        return 0;
    }
    errno = 0;  // what print_error shows must come from the command, not from start-up
    if (json) return telvar::data::json_dispatch(argc - 1, argv + 1);
    if (const telvar::command* c = telvar::find_command(word)) {
        const int32_t returned = c->fn(argc - 1, argv + 1);
        std::fflush(fp);
        return c->returns_exit_status ? returned : exit_status_of(returned);
    }
    std::fprintf(stderr, "telvar: unknown command '%s'\n", argv[1]);
    usage();
}
