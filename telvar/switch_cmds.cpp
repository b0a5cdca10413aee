// Switch-level commands of the tool: discover, version and chassis_status.
#include <array>
#include <cstdlib>
#include <memory>

#include "command_context.h"
#include "option_loop.h"
#include "output.h"
#include "telvar.h"
#include "tool_commands.h"
#include "tv_inter.h"

namespace telvar::tool {

namespace {

struct discovery_deleter {
    void operator()(char** result) const { tv_free_discovery(result, nullptr); }
};

}  // namespace

// discover <base-ip-address> <range>, or discover -m <ip-mask> <base-ip-address>: one
// answering address a line, in probing order.
int32_t discover(int32_t argc, char** argv) {
    const char* mask = nullptr;
    constexpr std::array<option_def, 1> own{{{'m', true}}};
    parse_options(argc, argv, own, [&](char, const char* value) { mask = value; });
    if (argc < (mask ? 1 : 2)) usage();

    uint32_t* list = nullptr;
    if (mask != nullptr) {
        list = tv_ip_values_from_mask(argv[0], mask);
        if (list == nullptr) {
            print("Invalid mask %s for %s\n", mask, argv[0]);
            print_error(tv_api_errno);
            return tv_api_errno;
        }
    }
    const int32_t count = mask ? 0 : tv::to_int(argv[1]);
    std::unique_ptr<char*, discovery_deleter> found{tv_discover(list, argv[0], count)};
    std::free(list);
    if (!found) {
        print_error(tv_api_errno);
        return tv_api_errno;
    }
    if (found.get()[0] == nullptr) print("No switch answered\n");
    for (char** ip = found.get(); *ip != nullptr; ++ip) print("%s\n", *ip);
    return 0;
}

int32_t version(int32_t argc, char** argv) {
    parse_options(argc, argv);
    command_context ctx{open_ip_context(argc, argv, 1, nullptr)};
    if (!ctx) return tv_api_errno;
    tv_version_info v{};
    if (tv_get_version(ctx.get(), &v) == 0)
        show_version(&v);
    else
        print_error(tv_api_errno);
    return ctx.close();
}

int32_t chassis_status(int32_t argc, char** argv) {
    parse_options(argc, argv);
    command_context ctx{open_ip_context(argc, argv, 1, nullptr)};
    if (!ctx) return tv_api_errno;
    tv_chassis_status status{};
    if (tv_get_chassis_status(ctx.get(), &status) != 0) {
        print_error(tv_api_errno);
        return ctx.close();
    }
    show_chassis_status(&status);
    tv_sysconfig cfg{};
    if (tv_get_snmp_sysconfig(ctx.get(), &cfg) == 0)
        show_sysconfig(&cfg);
    else
        print_error(tv_api_errno);
    return ctx.close();
}

}  // namespace telvar::tool
