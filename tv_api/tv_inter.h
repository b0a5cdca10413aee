// Internal declarations of the protocol module, shared by its .cpp files, the command layer,
// the simulator and the tests. Not installed.
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <span>
#include <string_view>
#include <unistd.h>

#include "tv_api.h"
#include "wire.h"

namespace tv {

// Offsets of the header fields and of the configuration sub-command word.
namespace off {
inline constexpr std::size_t status = 2;
inline constexpr std::size_t dest = 5;
inline constexpr std::size_t command = 8;
inline constexpr std::size_t length = 10;
inline constexpr std::size_t seq = 12;
inline constexpr std::size_t subcmd = 16;
}  // namespace off

// The protocol module's log stream (null: silent). Distinct from the command layer's `fp`.
std::FILE* log_stream();
void set_log_stream(std::FILE* stream);

// Decodes the 16 header bytes of a message (zeros for a message shorter than 16 bytes).
tv_msg_header decode_header(wire::cbytes msg);
// Encodes a header; hdr_length and everything else as given.
void encode_header(wire::bytes msg, const tv_msg_header& hdr);

// Status byte of a response header -> status code (0, 201, 107, 202 or 200).
constexpr int32_t status_from_byte(std::uint8_t b) {
    switch (b) {
        case TV_HDR_STATUS_OK: return TV_OK;
        case TV_HDR_STATUS_UNKNOWN: return TV_ERR_NOT_RECOGNIZED;
        case TV_HDR_STATUS_BUSY: return TV_ERR_SWITCH_BUSY;
        case TV_HDR_STATUS_LOGIN: return TV_ERR_LOGIN_REQUIRED;
        default: return TV_ERR_SWITCH;
    }
}

// Sets tv_api_errno and returns the code, the last line of most operations.
inline int32_t fail(int32_t code) {
    tv_api_errno = code;
    return code;
}

// One wait for a datagram and, when one comes, its read, in a single blocking receive: the
// exchange's hot path. Waits as long as poll_sock would. Returns 1 with the datagram's length
// in `received`, 0 when the wait timed out, -1 when it failed.
int wait_and_recv(tv_context* ctx, void* buf, int32_t capacity, int32_t& received);
// Forgets what wait_and_recv knows of a socket that is being opened or closed.
void forget_socket(int sock);

// Clears `msg` and writes the header of a request of msg.size() bytes.
void build_request(tv_context* ctx, wire::bytes msg, std::uint16_t command);
// Clears `msg` and writes the header of a configuration request (command 0x30) and its
// sub-command word at offset 16.
void build_config_request(tv_context* ctx, wire::bytes msg, std::uint32_t subcmd);
// Clears `resp` and exchanges `req` for it. Returns what tv_exchange returns.
int32_t exchange(tv_context* ctx, wire::bytes req, wire::bytes resp);

// The common shape of a configuration read: a request of ReqLen bytes with `subcmd`, an answer
// of RetLen bytes, and `decode` run on the answer when the exchange succeeded. Returns
// tv_api_errno.
template <std::size_t ReqLen, std::size_t RetLen, class Decode>
int32_t config_query(tv_context* ctx, std::uint32_t subcmd, Decode&& decode) {
    std::array<std::uint8_t, ReqLen> req;
    std::array<std::uint8_t, RetLen> resp;
    build_config_request(ctx, req, subcmd);
    if (exchange(ctx, req, resp) > 0) decode(wire::cbytes{resp});
    return tv_api_errno;
}

// The leading decimal integer of a text as the C library's atoi reads it, saturated to the
// 32-bit range instead of overflowing; 0 for a null pointer or no digits.
int32_t to_int(const char* text);

// Owns a socket descriptor.
class unique_fd {
public:
    unique_fd() = default;
    explicit unique_fd(int fd) : fd_(fd) {}
    unique_fd(const unique_fd&) = delete;
    unique_fd& operator=(const unique_fd&) = delete;
    unique_fd(unique_fd&& o) noexcept : fd_(o.release()) {}
    unique_fd& operator=(unique_fd&& o) noexcept {
        if (this != &o) reset(o.release());
        return *this;
    }
    ~unique_fd() { reset(); }
    int get() const { return fd_; }
    explicit operator bool() const { return fd_ >= 0; }
    int release() {
        int fd = fd_;
        fd_ = -1;
        return fd;
    }
    void reset(int fd = -1) {
        if (fd_ >= 0) ::close(fd_);
        fd_ = fd;
    }

private:
    int fd_ = -1;
};

}  // namespace tv
