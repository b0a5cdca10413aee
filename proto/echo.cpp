#include "proto/echo.h"

#include <algorithm>
#include <array>

#include "proto/diag/layout.h"
#include "proto/header.h"
#include "proto/name_server/layout.h"
#include "proto/topology/layout.h"

namespace tv::echo {

namespace {

namespace NS = layout::name_server;
namespace T = layout::topology;

constexpr std::array<field, 1> subcmd_only{{{off::subcmd, 4}}};
constexpr std::array<field, 2> subcmd_and_port{{{off::subcmd, 4}, {T::port_at, 1}}};
constexpr std::array<field, 2> name_server_query{{{NS::query_at, 4}, {NS::half_at, 2}}};

// Per-port reads whose answers leave the port byte free to carry it back: the topology page and
// the loop status (whose layout names it), and the counters, whose word 0 is not read.
constexpr bool answers_with_port(std::uint32_t subcmd) {
    return subcmd == T::subcmd::topology || subcmd == T::subcmd::al_port_status ||
           subcmd == layout::diag::subcmd::port_counters;
}

}  // namespace

std::span<const field> fields_of(wire::cbytes request) {
    static_assert(T::port_at == layout::diag::port_at && T::port_at == T::al::port);
    switch (wire::get_be16(request, off::command)) {
        case TV_CMD_CONFIG:
            if (answers_with_port(wire::get_be32(request, off::subcmd))) return subcmd_and_port;
            return subcmd_only;
        case TV_CMD_ONLINE_TEST:
        case TV_CMD_TRAP: return subcmd_only;
        case TV_CMD_NAME_SERVER: return name_server_query;
        default: return {};
    }
}

bool repeats(wire::cbytes request, wire::cbytes answer) {
    const std::size_t room = answer.size() >= TV_CHKSUM_LEN ? answer.size() - TV_CHKSUM_LEN : 0;
    return std::ranges::all_of(fields_of(request), [&](const field& f) {
        // Not carried by the answer, or not asked by the request: nothing to compare.
        if (f.at + f.width > room || !wire::fits(request, f.at, f.width)) return true;
        return std::equal(request.begin() + f.at, request.begin() + f.at + f.width,
                          answer.begin() + f.at);
    });
}

void copy_fields(wire::cbytes request, wire::bytes answer) {
    const std::size_t room = answer.size() >= TV_CHKSUM_LEN ? answer.size() - TV_CHKSUM_LEN : 0;
    for (const field& f : fields_of(request))
        if (f.at + f.width <= room && wire::fits(request, f.at, f.width))
            std::copy_n(request.begin() + f.at, f.width, answer.begin() + f.at);
}

}  // namespace tv::echo
