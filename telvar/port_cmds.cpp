// Port commands of the tool: port_state and port_type, each optionally changing the port (or
// every port) before listing it.
#include <array>
#include <cstring>

#include "command_context.h"
#include "name_tables.h"
#include "option_loop.h"
#include "output.h"
#include "telvar.h"
#include "tool_commands.h"

namespace telvar::tool {

namespace {

struct named_code {
    const char* word;
    int32_t code;
};

constexpr std::array<named_code, 2> state_words{{{"on", TV_PORT_STATE_ON}, {"off", TV_PORT_STATE_OFF}}};
constexpr std::array<named_code, 5> type_words{{{"f", TV_PORT_TYPE_F},
                                                {"fl", TV_PORT_TYPE_FL},
                                                {"t", TV_PORT_TYPE_T},
                                                {"sl", TV_PORT_TYPE_SL},
                                                {"tl", TV_PORT_TYPE_TL}}};

// The code of a -s value; an unknown word is a command-line error.
template <std::size_t N>
int32_t code_of(const std::array<named_code, N>& words, const char* value) {
    for (const auto& w : words)
        if (std::strcmp(w.word, value) == 0) return w.code;
    usage();
}

// "Port: %d\tType: %s\n" for one port, the same with the number left-aligned in two columns
// for every port, like the port-state report.
void show_port_types(const tv_port_types& types, int32_t port) {
    for (uint32_t i = 0; i < types.count; ++i) {
        if (port != TV_ALL_PORTS && static_cast<uint32_t>(port) != i) continue;
        print(port == TV_ALL_PORTS ? "Port: %-2u\tType: %s\n" : "Port: %u\tType: %s\n", i + 1,
              name_of(Port_Types, types.types[i]).c_str());
    }
}

}  // namespace

// port_state [-s on|off] <ip-address> <port|all>
int32_t port_state(int32_t argc, char** argv) {
    int32_t new_state = -1;
    constexpr std::array<option_def, 1> own{{{'s', true}}};
    parse_options(argc, argv, own,
                  [&](char, const char* value) { new_state = code_of(state_words, value); });
    int32_t port = 0;
    command_context ctx{open_with_port(argc, argv, port)};
    if (!ctx) return tv_api_errno;
    if (new_state >= 0) {
        if (tv_set_port_state(ctx.get(), port, static_cast<uint32_t>(new_state)) != 0) {
            print_error(tv_api_errno);
            return ctx.close();
        }
        print("SUCCESS\n");
    }
    tv_port_state state{};
    if (tv_get_port_state(ctx.get(), &state) == 0)
        show_port_state(&state, port);
    else
        print_error(tv_api_errno);
    tv_free_port_state(&state);
    return ctx.close();
}

// port_type [-s f|fl|t|sl|tl] <ip-address> <port|all>
int32_t port_type(int32_t argc, char** argv) {
    int32_t new_type = -1;
    constexpr std::array<option_def, 1> own{{{'s', true}}};
    parse_options(argc, argv, own,
                  [&](char, const char* value) { new_type = code_of(type_words, value); });
    int32_t port = 0;
    command_context ctx{open_with_port(argc, argv, port)};
    if (!ctx) return tv_api_errno;
    if (new_type >= 0) {
        const int32_t first = port == TV_ALL_PORTS ? 0 : port;
        const int32_t last = port == TV_ALL_PORTS ? Max_Ports - 1 : port;
        for (int32_t p = first; p <= last; ++p) {
            if (tv_set_port_type(ctx.get(), static_cast<uint32_t>(p), new_type, 1) != 0) {
                print("Port %d: ", p + 1);
                print_error(tv_api_errno);
                return ctx.close();
            }
        }
        print("SUCCESS\n");
    }
    tv_port_types types{};
    if (tv_get_port_types(ctx.get(), &types) == 0)
        show_port_types(types, port);
    else
        print_error(tv_api_errno);
    tv_free_port_types(&types);
    return ctx.close();
}

}  // namespace telvar::tool
