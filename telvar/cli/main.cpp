// The telvar tool: `telvar [global flags] <command> [flags] <ip-address> ...`. The dispatcher
// looks the command word up in its table (command_table.cpp), checks the command line against
// the command's description before anything is sent (command_line.h: options anywhere until
// "--", each argument for what it means), rebuilds it as the command reads it, takes the login
// from the credentials file (credentials.h) or gets a password that -u left out, runs the
// command and exits with the status it earned. Port numbers are held against the switch's port
// count as soon as the command's opening has read it.
//
// Reports go to standard output (the library's default stream is standard error), so that
// they can be piped; a refused line writes only to standard error. The tool takes only
// trustworthy answers (strict answer mode, unless --lenient is given before the command word)
// and logs out of what it logged into.
//
// Exit statuses, from the outcome the command returns (outcome.h):
//   0  the command did what it was asked
//   1  a command-line error (a refused line, an unknown command, a port the switch does not
//      have), a refused credentials or input file, or a change the user did not confirm
//   2  the switch or the network reported a failure
//   3  no context could be set up (a bad address, no socket, a refused login)
// An error a command cannot go on from (an exception) ends it with status 2 and its text.
// diff, zone_lint and zone_apply follow diff(1): 0 same, 1 different or changed, 2 trouble, a
// refused line included. The other data commands (locate, snapshot) return their own statuses,
// and --json gives a report as one JSON document (data_cmds.h).
#include <malloc.h>
#include <sys/random.h>

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>
#include <string_view>
#include <vector>

#include "telvar/cli/command_line.h"
#include "telvar/cli/command_table.h"
#include "telvar/cli/credentials.h"
#include "telvar/cli/defaults_read_back.h"
#include "telvar/cli/input_files.h"
#include "telvar/cli/library_log.h"
#include "telvar/cli/local_port.h"
#include "telvar/cli/prompts.h"
#include "telvar/cli/session_guard.h"
#include "telvar/data/data_cmds.h"
#include "telvar/framework/end_process.h"
#include "telvar/framework/notices.h"
#include "telvar/framework/output.h"
#include "telvar/telvar.h"
#include "tv_api/lanes.h"

namespace {

// `telvar help WORD`: the command's lines of the usage text.
int help_for(std::string_view word) {
    const telvar::command* c = telvar::find_command(word);
    if (c == nullptr) {
        std::fprintf(stderr, "telvar: unknown command '%.*s'\n", static_cast<int>(word.size()),
                     word.data());
        return 1;
    }
    for (const int line : telvar::usage_lines(c->word)) telvar::print("%s", Usage[line]);
    telvar::print("%.*s", static_cast<int>(c->help.size()), c->help.data());
    return 0;
}

// Sequence numbers start at an unpredictable value rather than the process id, so that a late
// answer to an earlier process on the same local port cannot carry a number this one uses.
void seed_sequence_numbers() {
    uint32_t seed = 0;
    if (getrandom(&seed, sizeof seed, GRND_NONBLOCK) == sizeof seed) msg_seq_num = seed;
}

// `telvar help`: the usage text, then the global options it does not describe and the commands
// it does not list.
void help_all() {
    telvar::print_usage();
    const auto options = [](bool before_word_only) {
        for (const telvar::global_option& o : telvar::global_options()) {
            if (o.help.empty() || o.before_word_only != before_word_only) continue;
            const std::string named = std::string(o.name) + (o.value.empty() ? "" : " ") + std::string(o.value);
            telvar::print("\t%s\t%.*s\n", named.c_str(), static_cast<int>(o.help.size()), o.help.data());
        }
    };
    options(false);
    telvar::print("\tglobal flags and a command's options may also stand before the command word or\n"
                  "\tafter the arguments; -- ends them (smlget words, negative numbers)\n"
                  "\nbefore the command word only:\n");
    options(true);
    telvar::print("\nmore commands:\n");
    for (const telvar::command& c : telvar::commands())
        if (telvar::usage_lines(c.word).empty()) telvar::print("%.*s", static_cast<int>(c.help.size()), c.help.data());
    telvar::print("\nexit status:\t0 done, 1 command-line error, 2 switch or network failure, 3 no connection;\n"
                  "\tdiff, zone_lint and zone_apply: 0 same, 1 different or changed, 2 trouble\n");
}

// A switch that answered "login required" gets the user told how to give a login.
void hint_login(const telvar::outcome& o) {
    if (o.kind == telvar::outcome_kind::own_status || o.code != TV_ERR_LOGIN_REQUIRED) return;
    telvar::hint("the switch requires a login: give -u <user> -p <password> before the "
                 "ip-address, or an entry in the credentials file");
}

// A switch that answered "busy" (status byte 0x03, printed as the bare code 107) gets the user
// told that it is a passing state.
void hint_busy(const telvar::outcome& o) {
    if (o.kind == telvar::outcome_kind::own_status || o.code != TV_ERR_SWITCH_BUSY) return;
    telvar::hint("the switch is busy: the command may be retried");
}

// A command line the dispatcher will not run: why, and the command's own usage lines, all on
// standard error so that nothing lands in what a script reads; exit status 1 (2 for the
// commands whose statuses follow diff(1)).
[[noreturn]] void refuse(const telvar::command& c, const std::string& why) {
    std::fprintf(stderr, "telvar: %.*s: %s\n%s", static_cast<int>(c.word.size()), c.word.data(), why.c_str(),
                 telvar::usage_of(c).c_str());
    telvar::end_process(c.compares ? 2 : 1);
}

std::size_t edit_distance(std::string_view a, std::string_view b) {
    std::vector<std::size_t> row(b.size() + 1);
    for (std::size_t j = 0; j <= b.size(); ++j) row[j] = j;
    for (std::size_t i = 1; i <= a.size(); ++i) {
        std::size_t diagonal = row[0];
        row[0] = i;
        for (std::size_t j = 1; j <= b.size(); ++j) {
            const std::size_t above = row[j];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
            diagonal = above;
        }
    }
    return row[b.size()];
}

[[noreturn]] void unknown_command(std::string_view typed) {
    std::string_view best;
    std::size_t best_distance = 3;  // more edits than two is another word, not a slip
    std::vector<std::string_view> words{"help"};
    for (const telvar::command& c : telvar::commands()) words.push_back(c.word);
    for (const std::string_view w : words) {
        // Each edit changes the length by one at most: a word far longer or shorter is no slip.
        const std::size_t apart = typed.size() > w.size() ? typed.size() - w.size() : w.size() - typed.size();
        if (apart >= best_distance) continue;
        const std::size_t d = edit_distance(typed, w);
        if (d < best_distance && d <= w.size() / 2) {
            best = w;
            best_distance = d;
        }
    }
    std::fprintf(stderr, "telvar: unknown command '%.*s'", static_cast<int>(typed.size()), typed.data());
    if (!best.empty()) std::fprintf(stderr, "; did you mean '%.*s'?", static_cast<int>(best.size()), best.data());
    std::fputs("\ntelvar: 'telvar help' lists the commands\n", stderr);
    telvar::end_process(1);
}

// -u without -p: the password from the terminal, else from TELVAR_PASSWORD.
void supply_password(const telvar::command& word, const char* user) {
    static std::string password;
    if (isatty(STDIN_FILENO)) {
        const auto typed = telvar::tool::read_secret(std::string("Password for ") + user + ": ");
        if (!typed) refuse(word, "no password was typed");
        password = *typed;
    } else if (const char* env = std::getenv("TELVAR_PASSWORD")) {
        password = env;
    } else {
        refuse(word, "-u needs a password: give -p, or set TELVAR_PASSWORD");
    }
    g_pw = password.c_str();
}

// The login of a line that does not give both -u and -p: the credentials file's entry for the
// switch's address (its user when there is no -u, its password for the same user when there is
// no -p; what the line gives wins), else the password of -u asked for. The file's texts become
// g_userid and g_pw before the command's option loop, which puts the line's over them.
void take_login(const telvar::command& c, const telvar::checked_line& checked) {
    const std::string_view word = c.word;
    bool supplied = false;
    if (checked.address != nullptr && (checked.user == nullptr || !checked.password)) {
        static telvar::credentials::file file;
        std::string error;
        if (!telvar::credentials::read_default(file, error)) {
            std::fprintf(stderr, "telvar: %.*s: credentials file %s\n", static_cast<int>(word.size()), word.data(), error.c_str());
            telvar::end_process(1);
        }
        if (const telvar::credentials::entry* e = file.find(checked.address)) {
            if (checked.user == nullptr) {
                g_userid = e->user.c_str();
                g_pw = e->password.c_str();
            } else if (e->user == checked.user) {
                g_pw = e->password.c_str();
                supplied = true;
            }
        }
    }
    if (checked.user != nullptr && !checked.password && !supplied) supply_password(c, checked.user);
}

// Global flags that take a value, as they may stand before the command word.
bool is_global_with_value(std::string_view a) {
    return (a.size() >= 2 && a[0] == '-' && (a[1] == 'f' || a[1] == 'p' || a[1] == 'u')) || a == "--timeout" || a == "--wait";
}

// The command about to run and the port numbers of its line, held against the switch's port
// count as soon as opening has read it: a port the switch does not have is a refused line.
const telvar::command* running = nullptr;
std::uint64_t highest_port = 0;

void check_ports(tv_context* ctx, int32_t count) {
    telvar::set_port_count_observer(nullptr);  // the first switch opened is the one addressed
    if (highest_port <= static_cast<std::uint64_t>(count)) return;
    close_ip_context(ctx);
    refuse(*running, "port " + std::to_string(highest_port) + ": this switch has ports 1-" + std::to_string(count));
}

// The exchange's timing. The library starts in discovery mode (waits of 60 ms, a budget of 255:
// three tries), which suits probing many addresses, not a command that changes a switch: a lost
// answer there leaves the change's outcome unknown. So every command but discovery runs in the
// normal mode, each wait lasting g_ip_timeout (70) and the budget g_timeout (500: six tries);
// discovery sets its own mode. --timeout and --wait replace these; what is not given keeps the
// relation of the default timing: a budget of 6 x (wait + 15) - 10, six tries as 500 gives 70.
void set_timing(const telvar::command& c, const telvar::checked_line& checked) {
    if (c.word != "discover") Discover = 0;
    if (!checked.timeout && !checked.wait) return;
    const int32_t wait = checked.wait.value_or(tv_get_ip_timeout());
    tv_set_ip_timeout(wait);
    tv_set_timeout(checked.timeout.value_or(6 * (wait + 15) - 10));
    Discover = 0;
}

}  // namespace

int main(int argc, char** argv) try {
    telvar::data::remember_command_line(argc, argv);
    fp = stdout;
    tv_api_open(telvar::tool::library_log());
    tv_set_strict_answers(1);
    // Fabric-wide reads go side by side across slow switches (TELVAR_READS may say otherwise).
    tv::set_lanes_mode_from_environment();
    // Lanes are threads that take turns: one malloc arena serves them all, as it serves the
    // one thread of a sequential read, so that they add no memory of their own to speak of.
    mallopt(M_ARENA_MAX, 1);
    // Global flags before the command word go right after it, where the command reads them.
    std::vector<char*> before;
    bool json = false;
    int first = 1;
    for (; first < argc; ++first) {
        const std::string_view a = argv[first];
        if (a == "--lenient") {
            tv_set_strict_answers(0);
        } else if (a == "--json") {
            json = true;
        } else if (a == "--version") {
            // The library's version line as it has always been, then which build this is.
            telvar::print("telvar version %s\ntelvar build %s\n", tv_api_version(), TELVAR_BUILD_ID);
            return 0;
        } else if (a == "-y" || a == "--yes" || a == "-q" || a == "-v") {
            before.push_back(argv[first]);
        } else if (is_global_with_value(a) && first + 1 < argc) {
            before.push_back(argv[first]);
            before.push_back(argv[++first]);
        } else {
            break;
        }
    }
    if (tv_get_strict_answers()) seed_sequence_numbers();
    telvar::tool::guard_sessions();
    if (first >= argc) {  // no command word: a command-line error, so nothing on standard output
        fp = stderr;
        usage();
    }
    const std::string_view word = argv[first];
    if (word == "help" || word == "-h" || word == "--help") {
        if (first + 1 < argc) return help_for(argv[first + 1]);
        help_all();
        return 0;
    }
    const telvar::command* c = telvar::find_command(word);
    if (c == nullptr) unknown_command(word);
    running = c;

    // The command's argument vector: its word, the flags given before it, the rest.
    // Static, as is the checked line its elements point into: what a command keeps of them
    // stays valid until the process ends. Both are set anew on every call, since the in-process
    // fuzz harness of the command line calls this entry again and again.
    static std::vector<char*> line;
    line.assign(1, argv[first]);
    line.insert(line.end(), before.begin(), before.end());
    line.insert(line.end(), argv + first + 1, argv + argc);
    static telvar::checked_line checked;
    checked = telvar::check_command_line(*c, std::span(line).subspan(1));
    if (checked.help) return help_for(word);  // asked for, so not a command-line error
    if (!checked.refusal.empty()) refuse(*c, checked.refusal);
    if (!telvar::tool::input_file_ok(*c, checked)) return 1;
    telvar::hand_over(*c, checked, line);
    telvar::tool::set_assume_yes(checked.yes);
    telvar::set_notice_level(checked.notice);
    telvar::tool::choose_local_port(checked.address, line);
    take_login(*c, checked);
    json = json || checked.json;
    set_timing(*c, checked);
    // Only a command with port numbers to check, or that acts on every port, reads the count: a
    // switch that requires a login refuses that query before one, and `message` would send
    // nothing. A login (-u or the credentials file) is made by the opening all the same.
    g_logincmd = telvar::reads_port_count(*c) ? 0 : 1;
    if (!checked.ports.empty()) {
        highest_port = std::ranges::max(checked.ports);
        telvar::set_port_count_observer(check_ports);
    }
    line.push_back(nullptr);

    errno = 0;  // what print_error shows must come from the command, not from start-up
    if (json) return telvar::data::json_dispatch(static_cast<int32_t>(line.size() - 1), line.data());
    const telvar::outcome outcome = c->fn(static_cast<int32_t>(line.size() - 1), line.data());
    std::fflush(fp);
    telvar::tool::end_library_line();
    // An upload that failed may have been applied in part, or wholly with its answer lost.
    if (c->word == "defaults" && outcome.kind == telvar::outcome_kind::failed) telvar::tool::report_defaults_read_back(checked);
    hint_login(outcome);
    hint_busy(outcome);
    return telvar::exit_status_of(outcome);
} catch (const std::exception& e) {
    // Nothing a command meets may end the tool by an escaping exception (an abort, with no word
    // of why): it is trouble, said as such.
    const std::string_view word = running != nullptr ? running->word : "telvar";
    std::fflush(fp);
    std::fprintf(stderr, "telvar: %.*s: %s\n", static_cast<int>(word.size()), word.data(), e.what());
    return 2;
}
