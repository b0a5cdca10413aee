// Fabric commands of the tool: links (the link tables of the whole fabric), nameserver (the
// fabric's name server) and initiators (the switch's initiator table).
#include <vector>

#include "proto/topology/layout.h"
#include "telvar/commands/tool_commands.h"
#include "telvar/framework/command_context.h"
#include "telvar/framework/option_loop.h"
#include "telvar/framework/output.h"
#include "telvar/telvar.h"
#include "tv_api/command_support.h"

namespace telvar::tool {

// links <ip-address>: the walk starts from the switch the context addresses. Without -f that
// switch is addressed under its own FC address, so that its table is headed by its chassis
// number, and its chassis is recorded before the walk so that a link back to it does not print
// its table a second time.
outcome links(int32_t argc, char** argv) {
    parse_options(argc, argv);
    command_context ctx{open_context(argc, argv, 1)};
    if (!ctx) return ctx.failure();
    if (tv_get_dest_addr(ctx.get()) == TV_DEFAULT_DEST) {
        tv_version_info v{};
        if (tv_get_version(ctx.get(), &v) != 0) return reported(tv_api_errno);
        tv_set_dest_addr(ctx.get(), v.ver_info3);
    }
    add_to_topo(static_cast<int32_t>(tv::layout::topology::chassis_of(tv_get_dest_addr(ctx.get()))));
    // print_topo prints the first failure of its walk and returns its status.
    return outcome::of_status(print_topo(ctx.get()));
}

// nameserver <ip-address>: every object of the fabric's name server, in address order, as
// show_nameserverinfo prints a list of them; only the lines are kept during the walk, so a
// fabric of ten thousand devices costs a few hundred kilobytes instead of several megabytes.
outcome nameserver(int32_t argc, char** argv) {
    parse_options(argc, argv);
    command_context ctx{open_context(argc, argv, 1)};
    if (!ctx) return ctx.failure();
    std::vector<nameserver_line> lines;
    const int32_t status = tv::status_without_throwing(TV_ERR_ALLOC, [&] {
        return tv::walk_nameserver(ctx.get(), [&](const tv_nameserver_entry& e) {
            lines.push_back(line_of(e));
            return true;
        });
    });
    if (status != TV_OK) {
        tv_api_errno = status;
        return reported(status);
    }
    show_nameserver_heading();
    if (lines.empty()) show_nameserver_empty();
    for (const auto& l : lines) show_nameserver_line(l);
    return outcome::done();
}

// initiators <ip-address>: the switch's initiators, each with the switch's WWN.
outcome initiators(int32_t argc, char** argv) {
    parse_options(argc, argv);
    command_context ctx{open_context(argc, argv, 1)};
    if (!ctx) return ctx.failure();
    tv_version_info v{};
    tv_initiators table{};
    if (tv_get_version(ctx.get(), &v) != 0 || tv_get_initiators(ctx.get(), &table) != 0)
        return reported(tv_api_errno);
    show_initiators(&v, &table);
    if (table.count == 0) print("No initiators found\n");
    return outcome::done();
}

}  // namespace telvar::tool
