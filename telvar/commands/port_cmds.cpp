// Port commands of the tool: port_state and port_type, each optionally changing the port (or
// every port) before listing it. On a terminal, a change of every port or of a port that
// carries an inter-switch link is asked about first. A change of every port that fails part way
// is read back: which ports hold the type asked for is said on standard error.
#include <array>
#include <cstdio>
#include <cstring>
#include <string>

#include "telvar/cli/prompts.h"
#include "telvar/commands/tool_commands.h"
#include "telvar/framework/command_context.h"
#include "telvar/framework/name_tables.h"
#include "telvar/framework/option_loop.h"
#include "telvar/framework/output.h"
#include "telvar/telvar.h"

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

// Whether a change (`to`, e.g. "off") of `port` may go ahead: always without a terminal or
// with -y; otherwise the user is asked when the change is of every port, or of a port whose
// type (T_Port, TL_Port) says it carries an inter-switch link, or of one whose type is unknown.
bool change_approved(tv_context* ctx, const char* address, int32_t port, const char* to) {
    if (!would_ask()) return true;
    const std::string where = switch_name(address);
    if (port == TV_ALL_PORTS)
        return confirmed("Set all " + std::to_string(Max_Ports) + " ports of " + where + " to " + to + "?");
    tv_port_types types{};
    const bool known = tv_get_port_types(ctx, &types) == 0 && static_cast<uint32_t>(port) < types.count;
    const int32_t type = known ? static_cast<int32_t>(types.types[port]) : -1;
    tv_free_port_types(&types);
    const std::string which = "Port " + std::to_string(port + 1) + " of " + where;
    if (type == TV_PORT_TYPE_T || type == TV_PORT_TYPE_TL) {
        std::string name = name_of(Port_Types, type);
        name.erase(name.find_last_not_of(' ') + 1);  // the padding is for reports
        return confirmed(which + " carries an inter-switch link (" + name + "). Set it to " + to + "?");
    }
    return known || confirmed("The type of " + which + " could not be read. Set it to " + to + " anyway?");
}

// Whether a port holds the type asked for. A fabric port's type is the switch's to choose from
// what it sees (F, FL, or T where a link is up), so F, FL and T hold by their loop mode.
bool holds_type(int32_t wanted, std::uint8_t type, bool loop_disabled) {
    const auto fabric_port = [](int32_t t) { return t == TV_PORT_TYPE_F || t == TV_PORT_TYPE_FL || t == TV_PORT_TYPE_T; };
    if (!fabric_port(wanted)) return type == wanted;
    return fabric_port(type) && loop_disabled == (wanted != TV_PORT_TYPE_FL);
}

// After a change of every port's type failed part way (a change whose answer was lost may have
// been made): each port's type read back, and on standard error whether it holds `wanted`.
void report_types_read_back(tv_context* ctx, int32_t wanted) {
    tv_port_types types{};
    tv_port_al_disabled loops{};
    int32_t code = TV_OK;
    for (int attempt = 0; attempt < 2; ++attempt) {  // the loss that failed the change may last
        tv_free_port_types(&types);
        tv_free_port_al_disabled(&loops);
        code = tv_get_port_types(ctx, &types);
        if (code == TV_OK) code = tv_get_port_al_disabled(ctx, &loops);
        if (code == TV_OK) break;
    }
    std::fprintf(stderr, "telvar: port_type: what the switch holds, read back:\n");
    for (int32_t p = 0; p < Max_Ports; ++p) {
        const auto i = static_cast<uint32_t>(p);
        std::string verdict;
        if (code != TV_OK)
            verdict = "unknown (reading it back failed: " + status_message(code) + ")";
        else if (i >= types.count || i >= loops.count)
            verdict = "unknown (the switch did not report it)";
        else
            verdict = holds_type(wanted, types.types[i], loops.flags[i] != 0) ? "applied" : "not applied";
        std::fprintf(stderr, "telvar: port_type:   port %d: %s\n", p + 1, verdict.c_str());
    }
    tv_free_port_types(&types);
    tv_free_port_al_disabled(&loops);
}

}  // namespace

// port_state [-s on|off] <ip-address> <port|all>
outcome port_state(int32_t argc, char** argv) {
    int32_t new_state = -1;
    const char* to = nullptr;
    constexpr std::array<option_def, 1> own{{{'s', true}}};
    parse_options(argc, argv, own, [&](char, const char* value) {
        new_state = code_of(state_words, value);
        to = value;
    });
    int32_t port = 0;
    command_context ctx{open_with_port(argc, argv, port)};
    if (!ctx) return ctx.failure();
    if (new_state >= 0 && !change_approved(ctx.get(), argv[0], port, to)) {
        ctx.close();
        return declined("port_state");
    }
    outcome result;
    if (new_state >= 0) {
        if (tv_set_port_state(ctx.get(), port, static_cast<uint32_t>(new_state)) != 0) return reported(tv_api_errno);
        print("SUCCESS\n");
        result.changed = true;
    }
    tv_port_state state{};
    if (tv_get_port_state(ctx.get(), &state) == 0)
        show_port_state(&state, port);
    else
        result.also(reported(tv_api_errno));
    tv_free_port_state(&state);
    return result;
}

// port_type [-s f|fl|t|sl|tl] <ip-address> <port|all>
outcome port_type(int32_t argc, char** argv) {
    int32_t new_type = -1;
    std::string to;
    constexpr std::array<option_def, 1> own{{{'s', true}}};
    parse_options(argc, argv, own, [&](char, const char* value) {
        new_type = code_of(type_words, value);
        to = std::string("type ") + value;
    });
    int32_t port = 0;
    command_context ctx{open_with_port(argc, argv, port)};
    if (!ctx) return ctx.failure();
    if (new_type >= 0 && !change_approved(ctx.get(), argv[0], port, to.c_str())) {
        ctx.close();
        return declined("port_type");
    }
    outcome result;
    if (new_type >= 0) {
        const int32_t first = port == TV_ALL_PORTS ? 0 : port;
        const int32_t last = port == TV_ALL_PORTS ? Max_Ports - 1 : port;
        for (int32_t p = first; p <= last; ++p) {
            if (tv_set_port_type(ctx.get(), static_cast<uint32_t>(p), new_type, 1) != 0) {
                print("Port %d: ", p + 1);
                result.also(reported(tv_api_errno));
                if (port == TV_ALL_PORTS) report_types_read_back(ctx.get(), new_type);
                return result;
            }
            result.changed = true;
        }
        print("SUCCESS\n");
    }
    tv_port_types types{};
    if (tv_get_port_types(ctx.get(), &types) == 0)
        show_port_types(types, port);
    else
        result.also(reported(tv_api_errno));
    tv_free_port_types(&types);
    return result;
}

}  // namespace telvar::tool
