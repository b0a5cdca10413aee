// Every operation of the library on answers the fuzzer writes, through the real exchange: a
// socket of the harness stands for the switch, and before each operation the input's datagrams
// are queued on the context's socket with the sequence numbers the operation's requests will
// carry (plus an offset the input chooses), so that they are taken as answers and decoded.
//
// Input: byte 0 picks the operation, byte 1 the mode (bit 0 strict answers, bit 1 length
// field and checksum made right), then datagrams as [offset][length: 2 bytes][bytes].
//
// The exchange's 15 ms pauses would make this crawl: the harness's own nanosleep takes their
// place and returns at once.
#include <arpa/inet.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <vector>

#include "support/every_operation.h"
#include "tv_api/tv_inter.h"

extern "C" int nanosleep(const timespec*, timespec*) { return 0; }

namespace {

constexpr std::uint32_t first_seq = 0x1000;

// Operations that would send datagrams to addresses taken from the answers are left out (the
// trap counter ends with the test alert to the listeners of the answer): a fuzzer must not
// write to the network around it.
bool runnable(std::string_view name) {
    return name != "trap alert" && name != "trap listener" && name != "trap counter";
}

struct harness {
    tv::unique_fd switch_sock;
    sockaddr_in switch_addr{};
    tv_context* ctx = nullptr;
    std::vector<const tvtest::operation*> ops;

    harness() {
        tv_api_open(nullptr);
        Discover = 0;
        g_ip_timeout = 0;  // look, never wait: the answers are queued before the request goes
        g_timeout = 1;     // one cycle
        switch_sock.reset(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
        switch_addr.sin_family = AF_INET;
        switch_addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof switch_addr;
        ::bind(switch_sock.get(), reinterpret_cast<sockaddr*>(&switch_addr), sizeof switch_addr);
        ::getsockname(switch_sock.get(), reinterpret_cast<sockaddr*>(&switch_addr), &len);
        for (const auto& op : tvtest::every_operation())
            if (runnable(op.name)) ops.push_back(&op);
    }

    tv_context* open() {
        tv_context* c = tv_open("127.0.0.1");
        if (c != nullptr) c->remote_addr = switch_addr;
        return c;
    }

    void drain(int sock) {
        std::array<std::uint8_t, 2048> buf;
        while (::recv(sock, buf.data(), buf.size(), MSG_DONTWAIT) >= 0) {
        }
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static harness h;
    if (size < 2) return 0;
    tv_context* ctx = h.open();
    if (ctx == nullptr) return 0;
    const tvtest::operation& op = *h.ops[data[0] % h.ops.size()];
    const bool strict = data[1] & 1;
    const bool well_formed = data[1] & 2;
    g_strict_answers = strict;
    msg_seq_num = first_seq;

    // Queue the datagrams, as the switch's answers, on the context's socket.
    std::size_t at = 2;
    for (int n = 0; n < 64 && at + 3 <= size; ++n) {
        const std::uint8_t offset = data[at];
        const std::size_t len = std::min<std::size_t>(std::size_t{data[at + 1]} << 8 | data[at + 2], size - at - 3);
        std::vector<std::uint8_t> d(data + at + 3, data + at + 3 + len);
        at += 3 + len;
        if (d.size() >= TV_HDR_LEN) tv::wire::put_be32(d, tv::off::seq, first_seq + 1 + offset);
        if (well_formed && d.size() >= TV_MIN_MSG_LEN) {
            tv::wire::put_be16(d, tv::off::length, static_cast<std::uint16_t>(d.size() - TV_HDR_LEN));
            tv::set_checksum(d);
        }
        ::sendto(h.switch_sock.get(), d.data(), d.size(), 0,
                 reinterpret_cast<const sockaddr*>(&ctx->local_addr), sizeof ctx->local_addr);
    }
    op.run(ctx);
    h.drain(ctx->sock);
    h.drain(h.switch_sock.get());
    tv_close(ctx);
    return 0;
}
