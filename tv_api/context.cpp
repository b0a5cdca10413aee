// Contexts (the handle on one switch), the library-wide open/close/version calls and the
// process-wide time settings and mode flags.
#include <arpa/inet.h>
#include <netdb.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "tv_api/alloc.h"
#include "tv_api/tv_inter.h"

extern "C" {
int32_t g_ip_timeout = 70;
int32_t g_timeout = 500;
int32_t Discover = 1;
int32_t Long_Poll = 0;
int32_t g_strict_answers = 0;
char gVersion[40];
}

namespace {

constexpr const char* version_text = "1.0.8";
constexpr const char* revision_stamp = "2001.06.21.16.33";
constexpr int bind_attempts = 5;
constexpr unsigned bind_retry_pause_s = 2;

struct free_deleter {
    void operator()(void* p) const { std::free(p); }
};
using context_ptr = std::unique_ptr<tv_context, free_deleter>;

// Keeps errno as it was across calls whose failures are handled here: print_error gives the
// C library's error number precedence over the status code, so a stale one would mislead.
struct errno_guard {
    int saved = errno;
    ~errno_guard() { errno = saved; }
};

// First IPv4 address of a host name, or false when it does not resolve.
bool resolve_ipv4(const char* name, in_addr* out) {
    errno_guard keep;
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_DGRAM;
    addrinfo* res = nullptr;
    if (getaddrinfo(name, nullptr, &hints, &res) != 0 || res == nullptr) return false;
    *out = reinterpret_cast<const sockaddr_in*>(res->ai_addr)->sin_addr;
    freeaddrinfo(res);
    return true;
}

}  // namespace

extern "C" {

int32_t tv_api_open(FILE* log_stream) {
    msg_seq_num = static_cast<uint32_t>(getpid());
    tv::set_log_stream(log_stream);
    tv_api_errno = 0;
    return 0;
}

int32_t tv_api_close(void) {
    tv_api_errno = 0;
    return 0;
}

const char* tv_api_version(void) {
    std::snprintf(gVersion, sizeof gVersion, "%s.REV.%s", version_text, revision_stamp);
    return gVersion;
}

}  // extern "C"

namespace tv {

tv_context* open_context(const char* host, int32_t local_port, int32_t& status) {
    context_ptr ctx{static_cast<tv_context*>(tv::alloc_zeroed(1, sizeof(tv_context)))};
    if (!ctx) {
        status = TV_ERR_NOMEM;
        return nullptr;
    }
    if (host == nullptr) {
        status = TV_ERR_BAD_HOST;
        return nullptr;
    }
    ctx->remote_addr.sin_family = AF_INET;
    if (to_int(host) > 0) {
        // A text whose leading number is positive is an address: no name lookup.
        ctx->host_text = host;
        ctx->remote_addr.sin_addr.s_addr = inet_addr(host);
    } else {
        in_addr addr{};
        if (!resolve_ipv4(host, &addr)) {
            status = TV_ERR_BAD_HOST;
            return nullptr;
        }
        ctx->host_text = inet_ntoa(addr);
        ctx->remote_addr.sin_addr.s_addr = inet_addr(ctx->host_text);
    }
    ctx->remote_addr.sin_port = htons(TV_SWITCH_UDP_PORT);

    ctx->local_addr.sin_family = AF_INET;
    ctx->local_addr.sin_addr.s_addr = tv_get_local_ipaddr(&ctx->remote_addr.sin_addr.s_addr);
    ctx->local_addr.sin_port = htons(static_cast<uint16_t>(local_port));

    unique_fd sock{::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0)};
    if (!sock) {
        status = TV_ERR_SOCKET;
        return nullptr;
    }
    for (int attempt = 1;; ++attempt) {
        if (::bind(sock.get(), reinterpret_cast<const sockaddr*>(&ctx->local_addr),
                   sizeof ctx->local_addr) == 0)
            break;
        if (attempt == bind_attempts) {
            log_error("Error while bind - last error code %d\n", errno);
            status = TV_ERR_BIND;
            return nullptr;
        }
        log_error("\"retrying bind operation %d\"\n", errno);
        ::sleep(bind_retry_pause_s);
    }
    sockaddr_in bound{};
    socklen_t len = sizeof bound;
    if (::getsockname(sock.get(), reinterpret_cast<sockaddr*>(&bound), &len) == 0)
        ctx->local_addr.sin_port = bound.sin_port;

    forget_socket(sock.get());
    ctx->sock = sock.release();
    ctx->dest_fc_addr = TV_DEFAULT_DEST;
    status = TV_OK;
    return ctx.release();
}

int32_t close_context(tv_context* ctx) {
    if (ctx == nullptr) return -1;
    forget_socket(ctx->sock);
    const int rc = ::close(ctx->sock);
    std::free(ctx);
    return rc == 0 ? 0 : -1;
}

}  // namespace tv

extern "C" {

tv_context* tv_opencontext(const char* host, int32_t local_port) {
    int32_t status = TV_OK;
    tv_context* ctx = tv::open_context(host, local_port, status);
    // Success leaves the status code as it was.
    if (ctx == nullptr) tv::publish(status);
    return ctx;
}

tv_context* tv_open(const char* host) { return tv_opencontext(host, 0); }

int32_t tv_close(tv_context* ctx) {
    tv_api_errno = 0;
    return tv::close_context(ctx);
}

uint32_t tv_get_local_ipaddr(const uint32_t* remote_addr) {
    errno_guard keep;
    uint32_t local = 0;
    if (remote_addr != nullptr) {
        // Connecting a UDP socket sends nothing; it only makes the kernel pick the route.
        tv::unique_fd s{::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0)};
        sockaddr_in peer{};
        peer.sin_family = AF_INET;
        peer.sin_port = htons(7);
        peer.sin_addr.s_addr = *remote_addr;
        sockaddr_in self{};
        socklen_t len = sizeof self;
        if (s && ::connect(s.get(), reinterpret_cast<const sockaddr*>(&peer), sizeof peer) == 0 &&
            ::getsockname(s.get(), reinterpret_cast<sockaddr*>(&self), &len) == 0)
            local = self.sin_addr.s_addr;
    }
    if (local != 0) return local;
    char name[129] = {};
    if (::gethostname(name, 128) != 0) return 0;
    in_addr addr{};
    return resolve_ipv4(name, &addr) ? addr.s_addr : 0;
}

int32_t tv_get_ip_timeout(void) { return g_ip_timeout; }
int32_t tv_get_timeout(void) { return g_timeout; }

int32_t tv_set_ip_timeout(int32_t value) {
    if (value < 0) return 0;
    g_ip_timeout = value;
    return 1;
}

int32_t tv_set_timeout(int32_t value) {
    if (value < 0) return 0;
    g_timeout = value;
    return 1;
}

int32_t tv_set_strict_answers(int32_t on) {
    const int32_t was = g_strict_answers;
    g_strict_answers = on != 0;
    return was;
}

int32_t tv_get_strict_answers(void) { return g_strict_answers; }

void CreateRunFile(void) {}

}  // extern "C"
