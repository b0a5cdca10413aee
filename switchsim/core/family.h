// What a command family of the simulator registers: its name, its handler table, the
// fabric-file fields it reads and the defaults it seeds into its own state.
//
// A family is a type with a `state` (its sub-record of every switch) and an `info()`:
//
//     struct login_state { ... };
//     struct login_family {
//         using state = login_state;
//         static const family_info& info();  // defined in login_handlers.cpp
//     };
//
// and one line in families.h. Everything else about the family stays in its own files. A
// family that keeps something for the whole fabric rather than per switch (the fabric's name
// server) names it too, as `using fabric_state = ...;`, and finds it in the fabric.
#pragma once

#include <netinet/in.h>

#include <array>
#include <chrono>
#include <cstdint>
#include <span>
#include <string_view>
#include <tuple>
#include <vector>

#include "telvar/utilmsg.h"

namespace sim {

struct request_ctx;
struct switch_state;
struct fabric;
class fields;

using handler_fn = void (*)(request_ctx&);
using sim_clock = std::chrono::steady_clock;

// The commands whose requests carry a 32-bit sub-command word at offset 16, which picks the
// handler, each with the name of the command as a whole; every other command has one handler,
// whose entry names it.
struct subcommand_command {
    std::uint16_t command;
    const char* name;
};
inline constexpr std::array<subcommand_command, 3> subcommand_commands{{
    {TV_CMD_CONFIG, "configuration"},
    {TV_CMD_ONLINE_TEST, "online test"},
    {TV_CMD_TRAP, "trap"},
}};

constexpr bool has_subcommands(std::uint16_t command) {
    for (const auto& c : subcommand_commands)
        if (c.command == command) return true;
    return false;
}

// A datagram a switch sends on its own rather than as an answer (a trap to a listener). The
// server sends it from the socket of the switch (or, for a switch without an address, of the
// switch the request came in by) and records and captures it like an answer.
struct unsolicited {
    std::size_t sw = 0;  // the switch that sends it
    sockaddr_in to{};
    std::vector<std::uint8_t> bytes;  // the whole datagram, framed by the family
};

// A family's work between requests: called by the server's loop once the time it last returned
// has come (and again whenever a test changes the fabric from outside). It may change the
// fabric and queue datagrams in `out`; it returns when it wants to be called next
// (sim_clock::time_point::max(): not on its own).
using tick_fn = sim_clock::time_point (*)(fabric& f, sim_clock::time_point now,
                                          std::vector<unsolicited>& out);

struct handler_entry {
    std::uint16_t command;
    std::uint32_t subcommand;  // for the commands that have sub-commands (has_subcommands)
    handler_fn fn;
    bool needs_login;          // refused with 0x0E on a switch that requires a login
    const char* name;          // for the request log
    // The handler only reads the fabric: state derived from the fabric may stay as it is
    // (fabric::revision does not move).
    bool reads_only = false;
};

struct family_info {
    std::string_view name;
    std::span<const handler_entry> handlers;
    // Fields of a switch object in a fabric file that this family reads, and its reader.
    std::span<const std::string_view> switch_keys{};
    void (*read_switch)(const fields& sw, switch_state& s) = nullptr;
    // Fields of a port object, and their reader (ports counted from 0).
    std::span<const std::string_view> port_keys{};
    void (*read_port)(const fields& port, switch_state& s, std::size_t index) = nullptr;
    // Defaults from the switch's name, chassis and ports, before the file's fields are read.
    void (*seed)(switch_state& s) = nullptr;
    // After the file's fields are read: what it configured becomes the saved set too.
    void (*loaded)(switch_state& s) = nullptr;
    // A switch reset: the saved set becomes active again; sessions and runs end.
    void (*on_reset)(switch_state& s) = nullptr;
    // Work on a timer (tick_fn); null for a family that only answers requests.
    tick_fn on_tick = nullptr;
    // Fields of the fabric object itself (beside "switches" and "links") and their reader,
    // which runs once the switches and links are read, so it may also settle what depends on
    // the whole fabric. It runs whether or not the file has any of the fields.
    std::span<const std::string_view> fabric_keys{};
    void (*read_fabric)(const fields& top, fabric& f) = nullptr;
    // Sees every request routed to a switch before its handler does: for a family that keeps
    // a conversation with a manager across requests.
    void (*on_request)(request_ctx& c) = nullptr;
};

// The fabric-wide state of a family: its `fabric_state`, or an empty type of its own.
template <class Family>
struct no_fabric_state {};
template <class Family>
struct fabric_state_of {
    using type = no_fabric_state<Family>;
};
template <class Family>
    requires requires { typename Family::fabric_state; }
struct fabric_state_of<Family> {
    using type = typename Family::fabric_state;
};

// The families of the simulator, as one list of types: their states form a tuple that every
// switch holds, and their infos are visited in order.
template <class... Families>
struct family_list {
    using states = std::tuple<typename Families::state...>;
    using fabric_states = std::tuple<typename fabric_state_of<Families>::type...>;
    static constexpr std::size_t size = sizeof...(Families);

    template <class F>
    static void each(F&& f) {
        (f(Families::info()), ...);
    }
};

}  // namespace sim
