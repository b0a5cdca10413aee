// Fabric commands of the tool: links (the link tables of the whole fabric), nameserver (the
// fabric's name server) and initiators (the switch's initiator table).
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "telvar/commands/tool_commands.h"
#include "telvar/data/fabric_walk.h"
#include "telvar/framework/command_context.h"
#include "telvar/framework/option_loop.h"
#include "telvar/framework/output.h"
#include "telvar/telvar.h"
#include "tv_api/command_support.h"

namespace telvar::tool {

namespace {

// One switch of `links`, in print_topo's formats (ports counted from 1, in hex as it prints
// them); the status of its links read. A list that was read though a far end did not answer
// is printed, then the failure.
int32_t print_switch_links(fabric::visit& at) {
    print("\nChassis: %2.2x      Remote: Chassis      Port    FCAddr     WWN\n", fabric::chassis_of(at.address()));
    const int32_t code = at.read_links();
    const tv_switch_links& l = at.links();
    if (at.links_listed() && l.count == 0) print("No Links found\n");
    for (int i = 0; at.links_listed() && i < l.count; ++i) {
        const tv_switch_link& k = l.links[i];
        print("   Port:    %2.2x           %2.2x           %2.2x      %6x     ", k.port + 1, k.remote_chassis,
              k.remote_port + 1, k.remote_fc_addr);
        show_wwn(k.remote_wwn, "\n");
    }
    if (code != TV_OK) print_error(code);
    return code;
}

}  // namespace

// links <ip-address>: the link table of every switch of the fabric, from the switch the context
// addresses outwards (the breadth-first walk that snapshot and --json links take, so the three
// agree), each switch once. print_topo, the library's display, stops after 12 switches; this
// walk has no such bound. A switch whose links cannot be read is reported where it stands and
// the walk goes on with the rest; the command then fails. With -u and -p every switch is
// logged into for the time of its read.
outcome links(int32_t argc, char** argv) {
    parse_options(argc, argv);
    command_context ctx{open_context(argc, argv, 1)};
    if (!ctx) return ctx.failure();
    const std::uint32_t dest = ctx.get()->dest_fc_addr;
    std::optional<std::uint32_t> start;
    if (dest != TV_DEFAULT_DEST) start = dest;
    // The first failure in the walk's order (visits side by side may fail in another).
    std::map<int, int32_t> failures;
    // Each switch's report is kept until the reports before it are out.
    fabric::in_walk_order in_order([](std::string_view t) { print("%.*s", static_cast<int>(t.size()), t.data()); });
    // As the snapshot: a list whose far end did not answer leads no further, so that --json
    // links lists the same switches.
    fabric::walk_side_by_side(ctx.get(), start, {}, [&](fabric::visit& at, int k) {
        std::string report;
        print_into(&report);
        // Without -f the start is headed by its own chassis number, which its identity gives.
        tv_version_info v{};
        if (!at.address_known() && at.read_identity(v) != TV_OK) {
            failures[k] = tv_api_errno;
            print_error(tv_api_errno);
        } else if (const int32_t code = print_switch_links(at); code != TV_OK) {
            failures[k] = code;
        }
        print_into(nullptr);
        in_order.write(k, report);
        in_order.finish(k);
    });
    const int32_t first_failure = failures.empty() ? TV_OK : failures.begin()->second;
    // Logging out of the start goes where the login went.
    ctx.get()->dest_fc_addr = dest;
    return outcome::of_status(first_failure);
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
