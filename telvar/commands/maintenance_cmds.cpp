// Maintenance commands of the tool that work on a whole switch: resetting it, reading and
// setting management variables, and sending a raw message.
#include <array>
#include <cstring>

#include "telvar/commands/command_cores.h"
#include "telvar/commands/tool_commands.h"
#include "telvar/framework/command_context.h"
#include "telvar/framework/option_loop.h"
#include "telvar/framework/output.h"
#include "telvar/telvar.h"

namespace {

using telvar::command_context;
using telvar::outcome;

// The request text of smlget and smlset: the words after the address, joined by one blank.
constexpr std::size_t request_room = 256;

// The answer buffer of `message`, kept between calls.
std::array<std::uint8_t, TV_MAX_MSG_LEN> resp_buf;

// Joins argv[1] .. argv[argc - 1] into `text`. A request longer than the room is refused rather
// than cut: a cut set request could give a variable a value nobody asked for.
bool join_request(int32_t argc, char** argv, std::array<char, request_room>& text) {
    text.fill('\0');
    std::size_t len = 0;
    for (int32_t i = 1; i < argc; ++i) {
        const std::size_t n = std::strlen(argv[i]);
        const std::size_t blank = i > 1 ? 1 : 0;
        if (n + blank > text.size() - 1 - len) return false;
        if (blank) text[len++] = ' ';
        std::memcpy(text.data() + len, argv[i], n);
        len += n;
    }
    return true;
}

void print_code(int32_t code) { telvar::print("command failed with code: 0x%x\n", code); }

}  // namespace

telvar::outcome telvar::tool::with_sml_request(int32_t argc, char** argv,
                                               const std::function<outcome(tv_context*, const char*)>& op) {
    if (argc < 3) usage();
    telvar::parse_options(argc, argv);
    std::array<char, request_room> text{};
    if (argc >= 2 && !join_request(argc, argv, text)) {
        telvar::print("request text longer than %zu characters\n", text.size() - 1);
        print_error(TV_ERR_PARAM);
        outcome refused = outcome::refused();
        refused.returned = TV_ERR_PARAM;  // nothing was sent
        return refused;
    }
    command_context ctx{open_context(argc, argv, 2)};
    if (!ctx) return ctx.failure();
    return op(ctx.get(), text.data());
}

namespace telvar::cores {

outcome switch_reset(int32_t argc, char** argv) {
    parse_options(argc, argv);
    command_context ctx{open_context(argc, argv, 1)};
    if (!ctx) return ctx.failure();
    // No answer is awaited: success means only that the reset message was sent.
    if (tv_switch_reset(ctx.get()) != 0) return reported(tv_api_errno);
    print("SUCCESS\n");
    return outcome::done(true);
}

// A code of the switch's own (an unknown variable, a value refused) is not a protocol failure
// and prints as the library's command does, but the command did not do what it was asked: the
// tool reports it as the switch's failure.
outcome smlget(int32_t argc, char** argv) {
    return tool::with_sml_request(argc, argv, [](tv_context* ctx, const char* request) {
        char* value = nullptr;
        int32_t code = 0;
        if (tv_smlget(ctx, request, &value, &code) != 0) return reported(tv_api_errno);
        if (value[0] != '\0') print("\"%s\"\n", value);
        if (code > 0) print_code(code);
        tv_smlfree(&value);
        return code > 0 ? outcome::failed(TV_OK) : outcome::done();
    });
}

outcome smlset(int32_t argc, char** argv) {
    return tool::with_sml_request(argc, argv, [](tv_context* ctx, const char* request) {
        int32_t code = 0;
        if (tv_smlset(ctx, request, &code) != 0) return reported(tv_api_errno);
        if (code > 0) {
            print_code(code);
            return outcome::failed(TV_OK);
        }
        print("SUCCESS\n");
        return outcome::done(true);
    });
}

outcome message(int32_t argc, char** argv) {
    resp_buf.fill(0);
    if (argc < 3) usage();
    parse_options(argc, argv);
    command_context ctx{open_context(argc, argv, 2)};
    if (!ctx) return ctx.failure();
    // The port-count query of the open failed: the switch is not in a state to talk to, and
    // the command ends without a word.
    if (tv_api_errno != 0) return outcome::of_status(tv_api_errno);
    print("\nResponse Buffer\n");
    if (tv_message(ctx.get(), nullptr, nullptr, argv[1], resp_buf.data()) != 0) return reported(tv_api_errno);
    // The whole buffer, whatever the answer's length: a numbered word a line.
    for (std::size_t i = 0; i < resp_buf.size(); ++i) {
        if (i % 4 == 0) print("\n%2.2x  ", static_cast<unsigned>(i / 4));
        print("%02x", resp_buf[i]);
    }
    print("\n");
    return outcome::done();
}

}  // namespace telvar::cores

extern "C" {

int32_t switch_reset(int32_t argc, char** argv) { return telvar::cores::switch_reset(argc, argv).returned; }

int32_t smlget(int32_t argc, char** argv) { return telvar::cores::smlget(argc, argv).returned; }

int32_t smlset(int32_t argc, char** argv) { return telvar::cores::smlset(argc, argv).returned; }

int32_t message(int32_t argc, char** argv) { return telvar::cores::message(argc, argv).returned; }

}  // extern "C"
