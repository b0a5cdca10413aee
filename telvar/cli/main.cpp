// The telvar tool: `telvar [global flags] <command> [flags] <ip-address> ...`. The dispatcher
// looks the command word up in its table (command_table.cpp), checks the command line against
// the command's description before anything is sent (command_line.h), gets a password that -u
// left out, runs the command and exits with the status it earned.
//
// Reports go to standard output (the library's default stream is standard error), so that
// they can be piped. The tool takes only trustworthy answers (strict answer mode, unless
// --lenient is given before the command word) and logs out of what it logged into.
//
// Exit statuses, from the outcome the command returns (outcome.h):
//   0  the command did what it was asked
//   1  a command-line error (usage text, an unknown command, a bad port number), or a
//      change the user did not confirm
//   2  the switch or the network reported a failure
//   3  no context could be set up (a bad address, no socket, a refused login)
// The data commands (diff, zone_apply, zone_lint, locate, snapshot) return their own statuses,
// and --json before the command word gives a report as one JSON document (data_cmds.h).
#include <sys/random.h>

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "telvar/cli/command_line.h"
#include "telvar/cli/command_table.h"
#include "telvar/cli/prompts.h"
#include "telvar/cli/session_guard.h"
#include "telvar/data/data_cmds.h"
#include "telvar/framework/output.h"
#include "telvar/telvar.h"

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
    telvar::print("\tglobal flags may also precede the command word\n\nbefore the command word only:\n");
    options(true);
    telvar::print("\nmore commands:\n");
    for (const telvar::command& c : telvar::commands())
        if (telvar::usage_lines(c.word).empty()) telvar::print("%.*s", static_cast<int>(c.help.size()), c.help.data());
}

// A switch that answered "login required" gets the user told how to give a login.
void hint_login(const telvar::outcome& o) {
    if (o.kind == telvar::outcome_kind::own_status || o.code != TV_ERR_LOGIN_REQUIRED) return;
    std::fputs("telvar: the switch requires a login: give -u <user> -p <password> before the "
               "ip-address\n", stderr);
}

// A switch that answered "busy" (status byte 0x03, printed as the bare code 107) gets the user
// told that it is a passing state.
void hint_busy(const telvar::outcome& o) {
    if (o.kind == telvar::outcome_kind::own_status || o.code != TV_ERR_SWITCH_BUSY) return;
    std::fputs("telvar: the switch is busy: the command may be retried\n", stderr);
}

// A command line the dispatcher will not run: why, then the usage text; exit status 1.
[[noreturn]] void refuse(std::string_view word, const std::string& why) {
    std::fprintf(stderr, "telvar: %.*s: %s\n", static_cast<int>(word.size()), word.data(), why.c_str());
    usage();
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
        const std::size_t d = edit_distance(typed, w);
        if (d < best_distance && d <= w.size() / 2) {
            best = w;
            best_distance = d;
        }
    }
    std::fprintf(stderr, "telvar: unknown command '%.*s'", static_cast<int>(typed.size()), typed.data());
    if (!best.empty()) std::fprintf(stderr, "; did you mean '%.*s'?", static_cast<int>(best.size()), best.data());
    std::fputc('\n', stderr);
    usage();
}

// -u without -p: the password from the terminal, else from TELVAR_PASSWORD.
void supply_password(std::string_view word, const char* user) {
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

// Global flags that take a value, as they may stand before the command word.
bool is_global_with_value(std::string_view a) {
    return a.size() >= 2 && a[0] == '-' && (a[1] == 'f' || a[1] == 'p' || a[1] == 'u');
}

}  // namespace

int main(int argc, char** argv) {
    fp = stdout;
    tv_api_open(stderr);
    tv_set_strict_answers(1);
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
            telvar::print("telvar version %s\n", tv_api_version());
            return 0;
        } else if (a == "-y" || a == "--yes") {
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
    if (first >= argc) usage();
    const std::string_view word = argv[first];
    if (word == "help" || word == "-h" || word == "--help") {
        if (first + 1 < argc) return help_for(argv[first + 1]);
        help_all();
        return 0;
    }
    const telvar::command* c = telvar::find_command(word);
    if (c == nullptr) unknown_command(word);

    // The command's argument vector: its word, the flags given before it, the rest.
    static std::vector<char*> line;
    line.push_back(argv[first]);
    line.insert(line.end(), before.begin(), before.end());
    line.insert(line.end(), argv + first + 1, argv + argc);
    const telvar::checked_line checked = telvar::check_command_line(*c, std::span(line).subspan(1));
    if (checked.help) return help_for(word);  // asked for, so not a command-line error
    if (!checked.refusal.empty()) refuse(word, checked.refusal);
    telvar::hand_over(*c, checked, line);
    telvar::tool::set_assume_yes(!checked.yes.empty());
    if (checked.user != nullptr && !checked.password) supply_password(word, checked.user);
    line.push_back(nullptr);

    errno = 0;  // what print_error shows must come from the command, not from start-up
    if (json) return telvar::data::json_dispatch(static_cast<int32_t>(line.size() - 1), line.data());
    const telvar::outcome outcome = c->fn(static_cast<int32_t>(line.size() - 1), line.data());
    std::fflush(fp);
    hint_login(outcome);
    hint_busy(outcome);
    return telvar::exit_status_of(outcome);
}
