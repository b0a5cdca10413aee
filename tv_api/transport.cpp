// The transport primitives under the exchange and the listening: send with retry, receive, a
// bounded wait for a datagram and a short sleep. Every wait here has a limit. The socket calls
// of the library's exchanges are all here, so that the fuzz harnesses can link another
// transport in this one's place and feed the answers from memory.
#include <poll.h>
#include <sys/time.h>
#include <sys/socket.h>

#include <cerrno>
#include <chrono>
#include <ctime>

#include "tv_api/tv_inter.h"

namespace {

constexpr int send_attempts = 3;
constexpr int32_t enobufs_pause_us = 5000;
constexpr int long_poll_ms = 2000;
constexpr int discover_wait_ms = 60;
// tv_recv is only called once a datagram is waiting; should the kernel drop it meanwhile, the
// read still gives up after the longest wait of the library.
constexpr int recv_guard_ms = long_poll_ms;

// Waits until `sock` is readable, for at most `timeout_ms`, across interrupted system calls.
// Returns 1 readable, 0 timed out, -1 failed.
int wait_readable(int sock, int timeout_ms) {
    using clock = std::chrono::steady_clock;
    const auto deadline = clock::now() + std::chrono::milliseconds(timeout_ms);
    for (;;) {
        pollfd p{sock, POLLIN, 0};
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - clock::now());
        const int r = ::poll(&p, 1, left.count() > 0 ? static_cast<int>(left.count()) : 0);
        if (r > 0) return (p.revents & POLLNVAL) ? -1 : 1;
        if (r == 0) return 0;
        if (errno != EINTR) return -1;
    }
}

// The receive timeout last set, for one socket: setting it costs a system call, and the
// exchanges of a run nearly always use one socket with one wait length.
int timeout_sock = -1;
int timeout_ms = -1;

bool set_receive_timeout(int sock, int ms) {
    if (sock == timeout_sock && ms == timeout_ms) return true;
    timeval tv{ms / 1000, (ms % 1000) * 1000};
    if (::setsockopt(sock, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv) != 0) return false;
    timeout_sock = sock;
    timeout_ms = ms;
    return true;
}

}  // namespace

namespace tv {

int wait_length_ms() {
    if (Long_Poll) return long_poll_ms;
    if (Discover) return discover_wait_ms;
    return g_ip_timeout > 0 ? g_ip_timeout : 0;
}

void forget_socket(int sock) {
    if (sock == timeout_sock) timeout_sock = timeout_ms = -1;
}

int wait_and_recv(tv_context* ctx, void* buf, int32_t capacity, int32_t& received,
                  sockaddr_in* from, int limit_ms) {
    int ms = wait_length_ms();
    if (limit_ms >= 0 && limit_ms < ms) ms = limit_ms;
    const size_t cap = capacity > 0 ? static_cast<size_t>(capacity) : 0;
    const int saved_errno = errno;
    // A zero timeout would mean "forever" to the socket: look without waiting instead.
    const bool wait = ms > 0 && set_receive_timeout(ctx->sock, ms);
    socklen_t from_len = sizeof(sockaddr_in);
    const int flags = (wait ? 0 : MSG_DONTWAIT) | (from ? MSG_TRUNC : 0);
    const ssize_t n = ::recvfrom(ctx->sock, buf, cap, flags, reinterpret_cast<sockaddr*>(from),
                                 from ? &from_len : nullptr);
    if (n >= 0) {
        received = static_cast<int32_t>(n);
        errno = saved_errno;
        return 1;
    }
    if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) {
        errno = saved_errno;
        if (!Discover) log_error("Time out in select\n");
        return 0;
    }
    return -1;
}

int32_t send_datagram(tv_context* ctx, wire::cbytes msg) {
    ssize_t sent = -1;
    for (int attempt = 0; attempt < send_attempts; ++attempt) {
        sent = ::sendto(ctx->sock, msg.data(), msg.size(), 0,
                        reinterpret_cast<const sockaddr*>(&ctx->remote_addr),
                        sizeof ctx->remote_addr);
        if (sent >= 0 || errno != ENOBUFS) break;
        pause_us(enobufs_pause_us);
    }
    return sent < 0 ? -1 : static_cast<int32_t>(sent);
}

int wait_for_datagram(tv_context* ctx, int timeout_ms) {
    return wait_readable(ctx->sock, timeout_ms > 0 ? timeout_ms : 0);
}

ssize_t receive_whole(tv_context* ctx, wire::bytes buf, sockaddr_in& from) {
    socklen_t from_len = sizeof from;
    return ::recvfrom(ctx->sock, buf.data(), buf.size(), MSG_DONTWAIT | MSG_TRUNC,
                      reinterpret_cast<sockaddr*>(&from), &from_len);
}

int32_t recv_datagram(tv_context* ctx, wire::bytes buf) {
    const int saved_errno = errno;
    for (int round = 0; round < 2; ++round) {
        const ssize_t n = ::recvfrom(ctx->sock, buf.data(), buf.size(), MSG_DONTWAIT, nullptr, nullptr);
        if (n >= 0) {
            errno = saved_errno;  // an EAGAIN on the way is no error of the caller's
            return static_cast<int32_t>(n);
        }
        if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) return -1;
        if (round == 0 && wait_readable(ctx->sock, recv_guard_ms) != 1) return -1;
    }
    return -1;
}

void pause_us(int32_t microseconds) {
    if (microseconds <= 0) return;
    timespec ts{microseconds / 1000000, static_cast<long>(microseconds % 1000000) * 1000};
    while (::nanosleep(&ts, &ts) != 0 && errno == EINTR) {
    }
}

}  // namespace tv

extern "C" {

int32_t poll_sock(int32_t sock) {
    const int r = wait_readable(sock, tv::wait_length_ms());
    if (r == 0 && !Discover) log_error("Time out in select\n");
    return r;
}

}  // extern "C"
