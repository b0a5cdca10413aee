// The tool's own zoning commands: get_zone reads one zone or every zone of a type, set_zone
// writes one zone. A zone prints as one line: its id, its enabled state and its member ports
// counted from 1,
//
//     Zone: 3	enabled	Ports: 1 2 5
//
// with "Ports: none" for a zone without members. Zone types are hd, ns, bcst and sl (or 1 to
// 4); zone ids run from 0 to 15 for hd and bcst, 0 to 255 for ns and 0 to 65535 for sl.
// Arguments out of range print why and the command line is refused without anything sent
// beyond the port-count query of opening.
#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

#include "telvar/commands/tool_commands.h"
#include "telvar/framework/command_context.h"
#include "telvar/framework/option_loop.h"
#include "telvar/framework/output.h"
#include "telvar/framework/zone_args.h"
#include "telvar/telvar.h"
#include "tv_api/command_support.h"

namespace telvar::tool {

namespace {

constexpr std::array<uint32_t, 5> max_zone_id{0, 15, 255, 15, 0xFFFF};

void show_zone(const tv_port_zone& zone) {
    print("Zone: %u\t%s\tPorts:", zone.id, zone.enabled ? "enabled" : "disabled");
    if (zone.count == 0 || zone.ports == nullptr) print(" none");
    for (uint32_t i = 0; zone.ports != nullptr && i < zone.count; ++i) print(" %u", zone.ports[i] + 1);
    print("\n");
}

// <zone-type> <zone-id> (or "all" where allowed) into a record; false after printing why.
// Words that are neither print the usage text.
bool read_zone(char** args, bool allow_all, tv_context* ctx, tv_port_zone& zone, bool& all) {
    const zone_type_arg type = parse_zone_type(args[0]);
    if (type.what == zone_type_arg::kind::unknown_word) {
        close_ip_context(ctx);
        usage();
    }
    if (type.what == zone_type_arg::kind::bad_number) {
        print("bad zone type: %d\n", type.value);
        return false;
    }
    zone.type = static_cast<uint32_t>(type.value);
    all = allow_all && std::strcmp(args[1], "all") == 0;
    if (all) return true;
    if (!starts_with_digit(args[1])) {
        close_ip_context(ctx);
        usage();
    }
    const int32_t id = tv::to_int(args[1]);
    if (static_cast<uint32_t>(id) > max_zone_id[zone.type]) {
        print("bad zone number: %d\n", id);
        return false;
    }
    zone.id = static_cast<uint32_t>(id);
    return true;
}

// One port number of a port list, as wire port; false after printing a bad one.
bool read_port(const char* text, tv_context* ctx, int32_t& port) {
    const port_text_result p = read_port_text(text, false);
    if (!p.ok && !p.printed) {
        close_ip_context(ctx);
        usage();
    }
    port = p.port;
    return p.ok;
}

// Port numbers from 1 to Max_Ports, each "N" or a range "N-M"; the word "none" alone is an
// empty list. Wire numbers, ascending and without repeats; false after printing a bad one.
bool read_ports(int32_t argc, char** args, tv_context* ctx, std::vector<uint32_t>& out) {
    if (argc == 1 && std::strcmp(args[0], "none") == 0) return true;
    for (int32_t i = 0; i < argc; ++i) {
        const char* dash = std::strchr(args[i], '-');
        int32_t first = 0;
        int32_t last = 0;
        if (!read_port(args[i], ctx, first) || !read_port(dash != nullptr ? dash + 1 : args[i], ctx, last))
            return false;
        if (last < first) {
            print("bad port range: %s\n", args[i]);
            return false;
        }
        for (int32_t p = first; p <= last; ++p) out.push_back(static_cast<uint32_t>(p));
    }
    std::ranges::sort(out);
    out.erase(std::unique(out.begin(), out.end()), out.end());
    return true;
}

}  // namespace

// get_zone [-s] <ip-address> <zone-type> <zone-id|all>; -s reads the saved zones.
outcome get_zone(int32_t argc, char** argv) {
    bool saved = false;
    constexpr std::array<option_def, 1> own{{{'s', false}}};
    parse_options(argc, argv, own, [&](char, const char*) { saved = true; });
    command_context ctx{open_context(argc, argv, 3)};
    if (!ctx) return ctx.failure();
    tv_port_zone zone{};
    bool all = false;
    if (!read_zone(argv + 1, true, ctx.get(), zone, all)) return outcome::refused();
    outcome result;
    if (all) {
        tv_port_zone_set set{zone.type, 0, nullptr};
        if (tv_get_port_zone_set(ctx.get(), &set, saved ? 1 : 0) != TV_OK) {
            result = reported(tv_api_errno);
        } else {
            if (set.count == 0) print("No zones\n");
            for (uint32_t i = 0; i < set.count; ++i) show_zone(*set.zones[i]);
        }
        tv_free_port_zone_set(&set, 0);
    } else {
        if (tv_get_port_zone(ctx.get(), &zone, saved ? 1 : 0) != TV_OK)
            result = reported(tv_api_errno);
        else
            show_zone(zone);
        tv_free_port_zone(&zone, 0);
    }
    return result;
}

// set_zone [-s] [-e] <ip-address> <zone-type> <zone-id> <port-list...>; -e enables the zone,
// -s saves the zones of the type afterwards.
outcome set_zone(int32_t argc, char** argv) {
    bool save = false;
    bool enable = false;
    constexpr std::array<option_def, 2> own{{{'s', false}, {'e', false}}};
    parse_options(argc, argv, own, [&](char letter, const char*) { (letter == 's' ? save : enable) = true; });
    command_context ctx{open_with_port_count(argc, argv, 4)};
    if (!ctx) return ctx.failure();
    tv_port_zone zone{};
    bool all = false;
    std::vector<uint32_t> ports;
    if (!read_zone(argv + 1, false, ctx.get(), zone, all) || !read_ports(argc - 3, argv + 3, ctx.get(), ports))
        return outcome::refused();
    zone.enabled = enable ? 1 : 0;
    zone.count = static_cast<uint32_t>(ports.size());
    zone.ports = ports.data();
    if (tv_set_port_zone(ctx.get(), &zone, save ? 1 : 0) != TV_OK) return reported(tv_api_errno);
    print("SUCCESS\n");
    return outcome::done(true);
}

}  // namespace telvar::tool
