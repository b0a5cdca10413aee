// The description of every command word of the tool, one entry each, and of the global options.
// Everything the tool says or checks about a command comes from its entry: the lines of the
// usage text that `telvar help WORD` prints (found in the Usage table by the command word), the
// check of a command line and the options handed to the data commands (command_line.h), the
// JSON form that --json runs, the bash completion (completion_gen.cpp) and the man page's
// command list (docs/telvar.1, kept by hand and checked against these entries by a test).
// Adding a command is one entry in command_table.cpp and its function.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "telvar/framework/outcome.h"

namespace telvar {

namespace tool {
struct input_rule;
}

// A function over a command's argument vector that returns a number (a data command's exit
// status, a status code).
using command_fn = int32_t (*)(int32_t argc, char** argv);
using command_core = outcome (*)(int32_t argc, char** argv);

// The function of a command: a core that returns the command's outcome, or a data command that
// returns the tool's exit status itself.
class command_function {
public:
    constexpr command_function(command_core core) : core_(core) {}
    constexpr command_function(command_fn own) : own_(own), own_status_(true) {}
    // No function: a description alone, which refuses to run.
    constexpr command_function(std::nullptr_t) {}

    outcome operator()(int32_t argc, char** argv) const {
        if (own_status_) return outcome::own_status(own_(argc, argv));
        return core_ != nullptr ? core_(argc, argv) : outcome::refused();
    }
    constexpr bool returns_exit_status() const { return own_status_; }

private:
    command_core core_ = nullptr;
    command_fn own_ = nullptr;
    bool own_status_ = false;
};

// What a command line of a command may hold, checked by the dispatcher before the command runs
// (command_line.h) and read by the shell completion. Two texts:
//
//   options   its own options: "-x" for a flag, "-x <kind>" or "-x a|b" for one with a value,
//             "--word" (or "--word <kind>") for one that may stand anywhere on the line;
//   operands  the address and what follows it, one token each: "<kind>", alternatives joined by
//             '|' ("<port>|all", "hd|ns|bcst|sl|<n>"), "[...]" for an optional one (left
//             out when those after it need every element that is left), "..." after the
//             last one when it repeats. An alternative "--word" names an option
//             that stands in for the operand: given, the operand is left out ("<ip>|--snapshot").
//
// Bare words are literals. Kinds: <ip> a dotted IPv4 address or a host name that resolves;
// <quad> a dotted IPv4 address; <port> a port number from 1 (the command checks it against the
// switch); <ports> a port or a range N-M; <n> 0 to 2^31-1; <int> a signed number; <hex> up to 8
// hex digits; <count> digits of any length; <seconds> a decimal number; <wwn> 16 hex digits;
// <word> anything; <file> anything, completed as a file name; <A-B> a number from A to B;
// <snapshot> a snapshot file (a path or a .json file: "<ip>|<snapshot>" takes a fabric from a
// switch or a file, and a command with a --snapshot option is handed the file as that option);
// <fcaddr> up to 6 hex digits; <enabled> on, 1, enabled (handed over as "on") or off, 0,
// disabled (as "0"); <zone> a zone id within the range of the zone type before it (0-15 hd and
// bcst, 0-255 ns, 0-65535 sl). A <wwn> may be written with colons; it is handed over as 16 digits.
// A command without a description is checked generically: its global flags, and its address
// unless an option of its own comes first.
struct syntax {
    std::string_view options{};
    std::string_view operands{};
};

struct command {
    std::string_view word;
    command_function fn;
    syntax args{};
    // Operands that pass the check, for tests that run every command: "{ip}" stands for the
    // address of a switch.
    std::string_view sample{};
    // What `telvar help WORD` prints after the command's lines of the usage text: the synopsis
    // of a command the usage text does not list, or an option it does not mention.
    std::string_view help{};
    // What `telvar --json WORD` runs, or null when the command has no JSON form.
    command_fn json = nullptr;
    // The function returns the tool's exit status itself (the data commands: data_cmds.h); it
    // agrees with the kind of `fn`.
    bool returns_exit_status = false;
    // The function has no option loop of its own options: the dispatcher parses them from `args`
    // and hands them over (given_options.h); global flags stay on the line for its loop.
    bool takes_parsed_options = false;
    // Its exit status follows diff(1): 0 same, 1 different or changed, 2 trouble, a refused
    // command line included (diff, zone_lint, zone_apply).
    bool compares = false;
    // It needs the switch's port count without a port operand (zone_apply checks the ports of
    // its file). Commands with neither read no port count when they open.
    bool counts_ports = false;
    // The file after the address is read by the dispatcher first, under this rule, and a file
    // that breaks it never reaches the function (input_files.h); null for none.
    const tool::input_rule* input = nullptr;
};

// Whether opening the command's context reads the switch's port count: it has a port operand
// (<port>, <ports>) or counts_ports.
bool reads_port_count(const command& c);

// The lines a refused command line shows of the command: its lines of the usage text, or the
// synopsis lines of its help ("    telvar WORD ...") when the usage text does not list it.
std::string usage_of(const command& c);

std::span<const command> commands();
// The command of a word, or null.
const command* find_command(std::string_view word);

// The indices in the Usage table of the lines of a command: the line that starts with
// "    telvar WORD " or "\tor telvar WORD ", and the lines that continue it (those that do not
// start a command, a blank line or the global flags). Empty for a command the text does not list.
std::vector<int> usage_lines(std::string_view word);

// A global option: named by `telvar help` (unless the usage text describes it), completed by
// the shell, described by the man page.
struct global_option {
    std::string_view name;   // "-port", "--json"
    std::string_view value;  // "<portno>", or empty for a flag
    std::string_view help;   // what `telvar help` says of it; empty when the usage text does
    bool before_word_only;   // the dispatcher's alone: only before the command word
};

std::span<const global_option> global_options();

}  // namespace telvar
