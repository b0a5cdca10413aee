// User accounts of a switch: adding and deleting users and changing one's own password. Each
// command acts as the user that -u and -p name: it logs in with them, does its one change and
// prints "SUCCESS" or the error; the tool's session guard logs out again. A new password left
// off the line is asked for (prompts.h) before the login, so that no session waits on a person
// and a refusal sends nothing.
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "telvar/cli/command_table.h"
#include "telvar/cli/prompts.h"
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

// What a command checks in its arguments (argv[0] the address, the new password in its place)
// before anything is sent: the reason they are refused, or null.
using argument_check = const char* (*)(char** argv);

// A switch keeps passwords of at most 8 characters.
constexpr std::size_t max_password_chars = 8;

// The arguments of an account command after the address: how many it takes, where among them
// its new password stands (0: it has none), the one argument that may be left out, and whether
// that password is of the user of -u (else of the user named by the first argument).
struct arguments {
    int32_t count;
    int32_t new_password = 0;
    bool own_password = false;
};

// Runs `change` on a context logged in as the user of -u and -p, with the arguments (argv[0]
// the address) complete: a new password left out is asked for first.
template <class Change>
outcome as_user(std::string_view word, int32_t argc, char** argv, arguments args, Change&& change,
                argument_check check = nullptr) {
    parse_options(argc, argv);
    if (g_userid == nullptr || g_pw == nullptr)
        return refuse(word, "needs a login: give -u <user> -p <password> before the ip-address");
    const bool asked = args.new_password != 0 && argc == args.count;
    if (argc != args.count + 1 && !asked) return refuse(word, "wrong number of arguments");
    std::vector<char*> full(argv, argv + argc);
    std::string typed;
    if (asked) full.insert(full.begin() + args.new_password, typed.data());
    if (const char* why = check ? check(full.data()) : nullptr) return refuse(word, why);
    if (asked) {
        std::string why;
        const std::optional<std::string> given = new_password(args.own_password ? g_userid : full[1], why);
        if (given && given->size() > max_password_chars) why = "the password is longer than 8 characters";
        if (!given || !why.empty()) {
            std::fprintf(stderr, "telvar %.*s: %s; nothing was changed\n", static_cast<int>(word.size()), word.data(),
                         why.c_str());
            return outcome::refused();
        }
        typed = *given;
        full[static_cast<std::size_t>(args.new_password)] = typed.data();
    }
    g_logincmd = 1;  // the port count is of no use here
    command_context ctx{open_context(static_cast<int32_t>(full.size()), full.data(), args.count + 1)};
    if (!ctx) return ctx.failure();
    if (change(ctx.get(), full.data()) != 0) return reported(tv_api_errno);
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
        "user_add", argc, argv, {3, 2},
        [](tv_context* ctx, char** a) {
            return tv_user_add(ctx, a[1], a[2], static_cast<uint8_t>(a[3][0] - '0'));
        },
        check_level);
}

outcome user_delete(int32_t argc, char** argv) {
    return as_user("user_delete", argc, argv, {1},
                   [](tv_context* ctx, char** a) { return tv_user_delete(ctx, a[1]); });
}

outcome passwd(int32_t argc, char** argv) {
    return as_user("passwd", argc, argv, {1, 1, true},
                   [](tv_context* ctx, char** a) { return tv_set_curr_user_pw(ctx, g_pw, a[1]); });
}

}  // namespace telvar::tool
