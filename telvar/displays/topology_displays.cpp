// Reports of a switch's place in the fabric: its initiators, and the link tables of the whole
// fabric, printed by a depth-first walk over the links.
//
// The walk remembers every chassis it descends into in the exported all_chassis table, which
// holds 12, so it ends after at most 12 descents however the fabric loops; each level keeps its
// own link list and points the context back at its own switch before following the next link.
#include <algorithm>

#include "proto/topology/layout.h"
#include "telvar/framework/output.h"
#include "telvar/telvar.h"

namespace {

using telvar::print;

constexpr int topo_slots = 12;  // of all_chassis, the entries the walk uses

// Frees a link list on every way out of a level of the walk.
struct links_guard {
    tv_switch_links links{};
    ~links_guard() { tv_free_switch_links(&links); }
};

}  // namespace

extern "C" {

int32_t all_chassis[TELVAR_TOPO_CHASSIS] = {-1, -1, -1, -1, -1, -1, -1, -1,
                                            -1, -1, -1, -1, -1, -1, -1, -1};

int32_t show_initiators(const tv_version_info* version, const tv_initiators* initiators) {
    if (version == nullptr || initiators == nullptr) return 0;
    // The record holds 16, whatever count it claims.
    const int n = std::min<int>(initiators->count, TV_MAX_INITIATORS);
    for (int i = 0; i < n; ++i) {
        print("WWN:\t");
        show_wwn(version->wwn, "   ");
        show_wwn(initiators->port_wwn[i], "   ");
        show_wwn(initiators->node_wwn[i], "   ");
        print("%d  ", initiators->port[i] + 1);
        print("0x%02x  ", initiators->alpa[i]);
        print("\n");
    }
    return 0;
}

int32_t add_to_topo(int32_t chassis) {
    for (int i = 0; i < topo_slots; ++i) {
        if (all_chassis[i] == chassis) return 0;
        if (all_chassis[i] == -1) {
            all_chassis[i] = chassis;
            return 1;
        }
    }
    return 0;
}

int32_t print_topo(tv_context* ctx) {
    const uint32_t here = tv_get_dest_addr(ctx);
    print("\nChassis: %2.2x      Remote: Chassis      Port    FCAddr     WWN\n", tv::layout::topology::chassis_of(here));
    links_guard g;
    if (tv_get_switch_links(ctx, &g.links) != 0) {
        print_error(tv_api_errno);
        return tv_api_errno;
    }
    if (g.links.count == 0) {
        print("No Links found\n");
        return tv_api_errno;
    }
    if (tv_get_num_of_ports(ctx) <= 0) {
        print_error(tv_api_errno);
        return tv_api_errno;
    }
    for (int i = 0; i < g.links.count; ++i) {
        const tv_switch_link& l = g.links.links[i];
        print("   Port:    %2.2x           %2.2x           %2.2x      %6x     ", l.port + 1,
              l.remote_chassis, l.remote_port + 1, l.remote_fc_addr);
        show_wwn(l.remote_wwn, "\n");
    }
    for (int i = 0; i < g.links.count; ++i) {
        const tv_switch_link& l = g.links.links[i];
        if (add_to_topo(l.remote_chassis) != 1) continue;
        tv_set_dest_addr(ctx, l.remote_fc_addr);
        // A failure below ends the whole walk; the context keeps addressing where it failed.
        if (const int32_t code = print_topo(ctx); code != 0) return code;
        tv_set_dest_addr(ctx, here);
    }
    return tv_api_errno;
}

}  // extern "C"
