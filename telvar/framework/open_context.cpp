// Opening and closing the context of a command: the local UDP port from -port or the
// environment, the target switch from -f, the login with -u and -p, the port count that bounds
// the port numbers typed on the command line, and the check of the port text itself.
#include <arpa/inet.h>

#include <cctype>
#include <cstdlib>
#include <string_view>

#include "telvar/framework/command_context.h"
#include "telvar/framework/notices.h"
#include "telvar/framework/output.h"
#include "telvar/telvar.h"
#include "tv_api/command_support.h"

namespace {

constexpr int32_t default_local_port = 5001;
// Port numbers stay usable, if unchecked against the real switch, when its count is unknown.
constexpr int32_t ports_when_unknown = 8;

[[noreturn]] void close_and_usage(tv_context* ctx) {
    close_ip_context(ctx);
    usage();
}

telvar::context_observer on_opened = nullptr;
telvar::context_observer on_closing = nullptr;
telvar::port_count_observer on_port_count = nullptr;

}  // namespace

namespace telvar {

void set_context_observers(context_observer opened, context_observer closing) {
    on_opened = opened;
    on_closing = closing;
}

void set_port_count_observer(port_count_observer seen) { on_port_count = seen; }

opened_context open_context(int32_t argc, char** argv, int32_t min, char** ip_out) {
    // Without an address element there is nothing to open, whatever minimum the caller gave.
    if (argc < min || argc < 1) usage();
    char* address = argv[0];
    const int32_t local_port = local_udp_port(g_udpport);
    tv_context* ctx = tv_opencontext(address, local_port);
    if (ctx == nullptr) {
        // Another telvar or a trap_listen left running holds the port: say how to get past it.
        if (tv_api_errno == TV_ERR_BIND && local_port != 0)
            hint("local UDP port %d is in use; -port 0 lets the system choose one", local_port);
        return {nullptr, outcome::no_connection(tv_api_errno)};
    }
    if (g_remotefcaddr != 0) tv_set_dest_addr(ctx, g_remotefcaddr);
    note("switch %s, FC address %06x, from local UDP port %u", ctx->host_text, ctx->dest_fc_addr,
         ntohs(ctx->local_addr.sin_port));
    // A user id on the command line means the switch wants a login before anything else,
    // the port-count query included.
    if (g_userid != nullptr) {
        ctx->login_required = 1;
        if (tv_login(ctx, g_userid, g_pw) != 0) {
            const int32_t code = tv_api_errno;
            close_ip_context(ctx);
            tv_api_errno = code;
            return {nullptr, outcome::no_connection(code)};
        }
    }
    if (on_opened != nullptr) on_opened(ctx);
    if (g_logincmd == 0) {
        Max_Ports = tv_get_num_of_ports(ctx);
        if (Max_Ports < 0) {
            Max_Ports = ports_when_unknown;
        } else if (on_port_count != nullptr) {
            on_port_count(ctx, Max_Ports);
        }
    }
    if (ip_out != nullptr) *ip_out = address;
    return {ctx, {}};
}

opened_context open_port_context(int32_t argc, char** argv, int32_t min, bool allow_all,
                                 int32_t* port_out, char** ip_out) {
    const opened_context opened = open_context(argc, argv, min, ip_out);
    if (opened.ctx == nullptr) return opened;
    if (argc < 2 || argv[1] == nullptr) close_and_usage(opened.ctx);  // a missing port text, too
    const port_text_result port = read_port_text(argv[1], allow_all);
    if (!port.ok) {
        if (!port.printed) close_and_usage(opened.ctx);
        close_ip_context(opened.ctx);
        return {nullptr, outcome::refused(TV_ERR_PARAM)};
    }
    if (port_out != nullptr) *port_out = port.port;
    return opened;
}

opened_context open_with_port_count(int32_t argc, char** argv, int32_t min) {
    const opened_context opened = open_context(argc, argv, min);
    if (opened.ctx == nullptr) return opened;
    if (const int32_t count_status = tv_api_errno; count_status != TV_OK) {
        close_ip_context(opened.ctx);
        tv_api_errno = count_status;
        return {nullptr, outcome::of_status(count_status)};
    }
    return opened;
}

// A port count that could not be read is the command's failure: going on with an assumed count
// would act on the wrong ports.
opened_context open_with_port(int32_t argc, char** argv, int32_t& port) {
    const opened_context opened = open_with_port_count(argc, argv, 2);
    if (opened.ctx == nullptr) return opened;
    const port_text_result p = read_port_text(argv[1], true);
    if (!p.ok) {
        close_ip_context(opened.ctx);
        if (!p.printed) usage();
        return {nullptr, outcome::refused(TV_ERR_PARAM)};
    }
    port = p.port;
    return opened;
}

port_text_result parse_port_text(const char* text_ptr, bool allow_all) {
    const std::string_view text = text_ptr != nullptr ? text_ptr : "";
    if (!text.empty() && std::isdigit(static_cast<unsigned char>(text[0]))) {
        const int32_t n = tv::to_int(text_ptr);
        if (n < 1 || n > Max_Ports) return {.port = n, .out_of_range = true};
        return {.ok = true, .port = n - 1};
    }
    if (text == "all" && allow_all) return {.ok = true, .port = TV_ALL_PORTS};
    return {};
}

port_text_result read_port_text(const char* text, bool allow_all) {
    port_text_result p = parse_port_text(text, allow_all);
    if (p.out_of_range) {
        print("bad port number: %d\n", p.port);
        p.printed = true;
    }
    return p;
}

// -port, else TELVARPORT, else telvarport, else the default; truncated to 16 bits as a UDP
// port is, so "-port 0" lets the system choose.
int32_t local_udp_port(const char* text) {
    if (text == nullptr) text = std::getenv("TELVARPORT");
    if (text == nullptr) text = std::getenv("telvarport");
    if (text == nullptr) return default_local_port;
    return static_cast<uint16_t>(tv::to_int(text));
}

}  // namespace telvar

extern "C" {

tv_context* open_ip_context(int32_t argc, char** argv, int32_t min, char** ip_out) {
    return telvar::open_context(argc, argv, min, ip_out).ctx;
}

tv_context* open_ip_port_context(int32_t argc, char** argv, int32_t min, int32_t allow_all,
                                 char** ip_out, int32_t* port_out) {
    return telvar::open_port_context(argc, argv, min, allow_all != 0, port_out, ip_out).ctx;
}

void close_ip_context(tv_context* ctx) {
    if (ctx == nullptr) return;
    if (on_closing != nullptr) on_closing(ctx);
    tv_close(ctx);
}

}  // extern "C"
