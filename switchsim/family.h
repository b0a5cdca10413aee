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
// and one line in families.h. Everything else about the family stays in its own files.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>
#include <tuple>

namespace sim {

struct request_ctx;
struct switch_state;
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
};

// The families of the simulator, as one list of types: their states form a tuple that every
// switch holds, and their infos are visited in order.
template <class... Families>
struct family_list {
    using states = std::tuple<typename Families::state...>;
    static constexpr std::size_t size = sizeof...(Families);

    template <class F>
    static void each(F&& f) {
        (f(Families::info()), ...);
    }
};

}  // namespace sim
