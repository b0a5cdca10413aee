// Maintenance commands of the tool that work on a whole switch: resetting it, reading and
// setting management variables, and sending a raw message.
#include <array>
#include <cstring>

#include "telvar/commands/tool_commands.h"
#include "telvar/framework/command_context.h"
#include "telvar/framework/option_loop.h"
#include "telvar/framework/output.h"
#include "telvar/telvar.h"

namespace {

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

int32_t telvar::tool::with_sml_request(int32_t argc, char** argv,
                                       const std::function<void(tv_context*, const char*)>& op) {
    if (argc < 3) usage();
    telvar::parse_options(argc, argv);
    std::array<char, request_room> text{};
    if (argc >= 2 && !join_request(argc, argv, text)) {
        telvar::print("request text longer than %zu characters\n", text.size() - 1);
        print_error(TV_ERR_PARAM);
        return TV_ERR_PARAM;  // nothing was sent
    }
    telvar::command_context ctx{open_ip_context(argc, argv, 2, nullptr)};
    if (!ctx) return tv_api_errno;
    op(ctx.get(), text.data());
    return ctx.close();
}

extern "C" {

int32_t switch_reset(int32_t argc, char** argv) {
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

int32_t smlget(int32_t argc, char** argv) {
    return telvar::tool::with_sml_request(argc, argv, [](tv_context* ctx, const char* request) {
        char* value = nullptr;
        int32_t code = 0;
        if (tv_smlget(ctx, request, &value, &code) != 0) return print_error(tv_api_errno);
        if (value[0] != '\0') telvar::print("\"%s\"\n", value);
        if (code > 0) print_code(code);
        tv_smlfree(&value);
    });
}

int32_t smlset(int32_t argc, char** argv) {
    return telvar::tool::with_sml_request(argc, argv, [](tv_context* ctx, const char* request) {
        int32_t code = 0;
        if (tv_smlset(ctx, request, &code) != 0)
            print_error(tv_api_errno);
        else if (code > 0)
            print_code(code);
        else
            telvar::print("SUCCESS\n");
    });
}

int32_t message(int32_t argc, char** argv) {
    resp_buf.fill(0);
    if (argc < 3) usage();
    telvar::parse_options(argc, argv);
    telvar::command_context ctx{open_ip_context(argc, argv, 2, nullptr)};
    if (!ctx) return tv_api_errno;
    // The port-count query of the open failed: the switch is not in a state to talk to.
    if (tv_api_errno != 0) return ctx.close();
    telvar::print("\nResponse Buffer\n");
    if (tv_message(ctx.get(), nullptr, nullptr, argv[1], resp_buf.data()) != 0) {
        print_error(tv_api_errno);
        return ctx.close();
    }
    // The whole buffer, whatever the answer's length: a numbered word a line.
    for (std::size_t i = 0; i < resp_buf.size(); ++i) {
        if (i % 4 == 0) telvar::print("\n%2.2x  ", static_cast<unsigned>(i / 4));
        telvar::print("%02x", resp_buf[i]);
    }
    telvar::print("\n");
    return ctx.close();
}

}  // extern "C"
