// User accounts of a switch: adding and deleting users and changing one's own password. Each
// command acts as the user that -u and -p name: it logs in with them, does its one change and
// prints "SUCCESS" or the error; the tool's session guard logs out again.
#include <cstdio>
#include <string_view>

#include "telvar/cli/command_table.h"
#include "telvar/commands/tool_commands.h"
#include "telvar/framework/command_context.h"
#include "telvar/framework/option_loop.h"
#include "telvar/framework/output.h"
#include "telvar/telvar.h"

namespace telvar::tool {

namespace {

// A command line the command cannot run: why, and the command's own help, on standard error.
outcome refuse(std::string_view word, const char* why) {
    std::fprintf(stderr, "telvar %.*s: %s\n", static_cast<int>(word.size()), word.data(), why);
    if (const command* c = find_command(word))
        std::fprintf(stderr, "%.*s", static_cast<int>(c->help.size()), c->help.data());
    return outcome::refused();
}

// What a command checks in its arguments (argv[0] the address) before anything is sent: the
// reason they are refused, or null.
using argument_check = const char* (*)(char** argv);

// Runs `change` on a context logged in as the user of -u and -p; `args` is the number of
// arguments after the address.
template <class Change>
outcome as_user(std::string_view word, int32_t argc, char** argv, int32_t args, Change&& change,
                argument_check check = nullptr) {
    parse_options(argc, argv);
    if (g_userid == nullptr || g_pw == nullptr)
        return refuse(word, "needs a login: give -u <user> -p <password> before the ip-address");
    if (argc != args + 1) return refuse(word, "wrong number of arguments");
    if (const char* why = check ? check(argv) : nullptr) return refuse(word, why);
    g_logincmd = 1;  // the port count is of no use here
    command_context ctx{open_context(argc, argv, args + 1)};
    if (!ctx) return ctx.failure();
    if (change(ctx.get(), argv) != 0) return reported(tv_api_errno);
    print("SUCCESS\n");
    return outcome::done(true);
}

// Levels outside 1 to 3 are refused here rather than left to the switch.
const char* check_level(char** argv) {
    const std::string_view level = argv[3];
    return level.size() == 1 && level[0] >= '1' && level[0] <= '3' ? nullptr
                                                                    : "the level is 1, 2 or 3";
}

}  // namespace

outcome user_add(int32_t argc, char** argv) {
    return as_user(
        "user_add", argc, argv, 3,
        [](tv_context* ctx, char** a) {
            return tv_user_add(ctx, a[1], a[2], static_cast<uint8_t>(a[3][0] - '0'));
        },
        check_level);
}

outcome user_delete(int32_t argc, char** argv) {
    return as_user("user_delete", argc, argv, 1,
                   [](tv_context* ctx, char** a) { return tv_user_delete(ctx, a[1]); });
}

outcome passwd(int32_t argc, char** argv) {
    return as_user("passwd", argc, argv, 1,
                   [](tv_context* ctx, char** a) { return tv_set_curr_user_pw(ctx, g_pw, a[1]); });
}

}  // namespace telvar::tool
