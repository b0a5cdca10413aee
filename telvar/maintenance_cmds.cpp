// Maintenance commands of the tool that work on a whole switch.
#include "command_context.h"
#include "option_loop.h"
#include "output.h"
#include "telvar.h"

extern "C" int32_t switch_reset(int32_t argc, char** argv) {
    telvar::parse_options(argc, argv);
    telvar::command_context ctx{open_ip_context(argc, argv, 1, nullptr)};
    if (!ctx) return tv_api_errno;
    // No answer is awaited: success means only that the reset message was sent.
    if (tv_switch_reset(ctx.get()) == 0)
        telvar::print("SUCCESS\n");
    else
        print_error(tv_api_errno);
    return ctx.close();
}
