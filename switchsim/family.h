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

#include <cstdint>
#include <span>
#include <string_view>
#include <tuple>

namespace sim {

struct request_ctx;
struct switch_state;
struct fabric;
class fields;

using handler_fn = void (*)(request_ctx&);

struct handler_entry {
    std::uint16_t command;
    std::uint32_t subcommand;  // only for the configuration command 0x30
    handler_fn fn;
    bool needs_login;          // refused with 0x0E on a switch that requires a login
    const char* name;          // for the request log
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
