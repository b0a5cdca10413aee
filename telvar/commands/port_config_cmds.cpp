// Port commands of the library: port_mfs_mode (set, save and list MFS modes) and port_steering
// (the routing table as seen from a port), with the routing table's report.
#include <array>

#include "proto/topology/layout.h"
#include "telvar/commands/command_cores.h"
#include "telvar/framework/command_context.h"
#include "telvar/framework/option_loop.h"
#include "telvar/framework/output.h"
#include "telvar/telvar.h"
#include "tv_api/command_support.h"

namespace {

using telvar::print;

// The routing table of one port; a failure is printed and the caller goes on.
telvar::outcome steering_of(tv_context* ctx, int32_t port, bool header) {
    tv_port_steering steering{};
    if (tv_get_port_steering(ctx, static_cast<uint32_t>(port), &steering) != 0)
        return telvar::reported(tv_api_errno);
    show_port_steering(port, &steering, header ? 1 : 0);
    return telvar::outcome::done();
}

}  // namespace

extern "C" {

int32_t show_port_steering(int32_t port, const tv_port_steering* steering, int32_t header) {
    if (steering == nullptr) return 0;
    const uint32_t fc_addr = steering->fc_addr;
    if (header != 0) {
        print("Port Routing Table for Chassis %02d, FC Addr %06x\n",
              static_cast<int>(tv::layout::topology::chassis_of(fc_addr)), fc_addr);
        print("Source-Port    Route-Port   Dest-Chassis    Dest-FC_Addr\n");
        print("--------------------------------------------------------\n");
    }
    for (int c = 0; c < TV_MAX_CHASSIS; ++c) {
        if (steering->route_valid[c] == 0) continue;
        print("%02d\t\t%02d\t\t%02d\t\t%06x\n", port + 1, steering->route_port[c] + 1, c,
              (fc_addr & 0xF00000u) | (static_cast<uint32_t>(c) << 14));
    }
    return 0;
}

}  // extern "C"

namespace telvar::cores {

// port_mfs_mode [-s] [-M <mfs-mode>] <ip-address> <port|all>
outcome port_mfs_mode(int32_t argc, char** argv) {
    if (argc < 3) usage();
    const char* mode_text = nullptr;
    bool save = false;
    constexpr std::array<option_def, 2> own{{{'M', true}, {'s', false}}};
    parse_options(argc, argv, own, [&](char letter, const char* value) {
        if (letter == 'M')
            mode_text = value;
        else
            save = true;
    });
    int32_t port = 0;
    command_context ctx{open_port_context(argc, argv, 2, true, &port)};
    if (!ctx) return ctx.failure();
    outcome result;
    if (mode_text != nullptr) {
        if (tv_set_port_mfs_mode(ctx.get(), static_cast<uint32_t>(port),
                                 static_cast<uint32_t>(tv::to_int(mode_text))) != 0) {
            print("Set Port MFS Mode: ");
            result = reported(tv_api_errno);
        } else {
            result.changed = true;
        }
    }
    if (tv_api_errno == 0 && save && tv_save_active(ctx.get()) != 0) {
        print("Save active:  ");
        result.also(reported(tv_api_errno));
    }
    // A failed port-count query of the opening leaves the modes out without a word.
    if (tv_api_errno != 0) return result.also(outcome::of_status(tv_api_errno));
    tv_port_mfs_modes modes{};
    if (tv_get_port_mfs_mode(ctx.get(), &modes) != 0) {
        print("Get MFS Modes: ");
        result.also(reported(tv_api_errno));
    } else {
        show_port_mfs_modes(port, &modes);
    }
    tv_free_port_mfs_mode(&modes);
    return result;
}

// port_steering <ip-address> <port|all>
outcome port_steering(int32_t argc, char** argv) {
    parse_options(argc, argv);
    int32_t port = 0;
    command_context ctx{open_port_context(argc, argv, 2, true, &port)};
    if (!ctx) return ctx.failure();
    if (port != TV_ALL_PORTS) return steering_of(ctx.get(), port, true);
    // One heading, with the first port's table.
    outcome result;
    for (int32_t p = 0; p < Max_Ports; ++p) result.also(steering_of(ctx.get(), p, p == 0));
    return result;
}

}  // namespace telvar::cores

extern "C" {

int32_t port_mfs_mode(int32_t argc, char** argv) { return telvar::cores::port_mfs_mode(argc, argv).returned; }

int32_t port_steering(int32_t argc, char** argv) { return telvar::cores::port_steering(argc, argv).returned; }

}  // extern "C"
