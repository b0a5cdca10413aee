// The transport of the fuzz harnesses (memory_transport.h): every function of the library's
// transport (tv_api/transport.cpp), defined over the script instead of a socket. The harnesses
// that link this file never pull the library's transport from its archive; should anything
// need a symbol that only the real one defines, the link fails on the duplicates rather than
// mixing the two.
#include "fuzz/support/memory_transport.h"

#include <arpa/inet.h>

#include <algorithm>
#include <array>
#include <cerrno>

#include "proto/echo.h"
#include "tv_api/tv_inter.h"

namespace {

namespace W = tv::wire;

std::span<const std::uint8_t> script;
// The last request sent, which the answers are finished against.
std::array<std::uint8_t, 2048> request{};
std::size_t request_length = 0;
std::size_t sent = 0;
std::size_t taken = 0;
void (*dry_hook)() = nullptr;

// Waits outside a listen that found the script dry.
std::size_t silent = 0;

// Live mode: the records written so far, and how much of them had been read when a wait first
// found none.
fuzz::live_switch live;
std::vector<std::uint8_t> live_records;
struct read_so_far {
    std::size_t bytes = 0;
    std::size_t records = 0;
};
std::optional<read_so_far> read_when_dry;

std::size_t live_read() { return live_records.size() - script.size(); }

void answer_live_request(const tv_context* ctx, std::span<const std::uint8_t> msg) {
    auto answer = live(ctx->remote_addr.sin_addr.s_addr, msg);
    if (!answer) return;
    // The record finishes the sequence number against the request it answers: written as 0, so
    // that the same run writes the same record whatever number the request carried.
    if (answer->size() >= TV_MIN_MSG_LEN) {
        W::put_be32(*answer, tv::off::seq, 0);
        tv::set_checksum(*answer);
    }
    const std::size_t read = live_read();
    const auto length = static_cast<std::uint16_t>(std::min<std::size_t>(answer->size(), 0xFFFF));
    live_records.push_back(fuzz::answer::as_the_switch | fuzz::answer::well_formed);
    live_records.push_back(static_cast<std::uint8_t>(length >> 8));
    live_records.push_back(static_cast<std::uint8_t>(length));
    live_records.insert(live_records.end(), answer->begin(), answer->begin() + length);
    script = std::span<const std::uint8_t>(live_records).subspan(read);
}

// The longest datagram a record makes: longer than anything the library reads whole, so that
// the cut of an overlong datagram is exercised too.
std::array<std::uint8_t, 4096> datagram;

enum class waiting { for_answer, listening };

bool dry(waiting w = waiting::for_answer) {
    if (!script.empty()) return false;
    if (w == waiting::for_answer) ++silent;
    if (live && !read_when_dry) read_when_dry = read_so_far{live_read(), taken};
    return true;
}

// Takes the next record into `datagram`, finished as its control byte says; returns its length
// and gives its sender in `from`.
std::size_t take_answer(const tv_context* ctx, sockaddr_in* from) {
    using namespace fuzz::answer;
    const std::uint8_t control = script[0];
    const std::size_t at = std::min<std::size_t>(3, script.size());
    const std::size_t wanted = script.size() >= 3 ? std::size_t{script[1]} << 8 | script[2] : 0;
    const std::size_t length = std::min({wanted, script.size() - at, datagram.size()});
    std::copy_n(script.begin() + static_cast<std::ptrdiff_t>(at), length, datagram.begin());
    script = script.subspan(at + length);
    ++taken;

    const W::bytes msg{datagram.data(), length};
    const W::cbytes req{request.data(), request_length};
    if ((control & as_the_switch) != 0 && request_length >= TV_HDR_LEN) {
        W::put_be16(msg, tv::off::command, W::get_be16(req, tv::off::command));
        tv::echo::copy_fields(req, msg);
    }
    if ((control & raw_sequence) == 0) {
        const int delta = static_cast<std::int8_t>(control << 4) >> 4;
        W::put_be32(msg, tv::off::seq, W::get_be32(req, tv::off::seq) + static_cast<std::uint32_t>(delta));
    }
    if ((control & well_formed) != 0 && length >= TV_MIN_MSG_LEN) {
        W::put_be16(msg, tv::off::length, static_cast<std::uint16_t>(length - TV_HDR_LEN));
        tv::set_checksum(msg);
    }
    if (from != nullptr) {
        *from = ctx->remote_addr;
        if ((control & other_port) != 0) from->sin_port = htons(static_cast<std::uint16_t>(ntohs(from->sin_port) + 1));
    }
    return length;
}

// Copies what fits of the datagram just taken into `buf`; the count copied.
std::size_t deliver(std::size_t length, void* buf, std::size_t capacity) {
    const std::size_t n = std::min(length, capacity);
    std::copy_n(datagram.begin(), n, static_cast<std::uint8_t*>(buf));
    return n;
}

void time_out() {
    if (!Discover) log_error("Time out in select\n");
}

}  // namespace

namespace fuzz {

void script_answers(std::span<const std::uint8_t> answers) {
    script = live ? std::span<const std::uint8_t>{} : answers;
    live_records.clear();
    read_when_dry.reset();
    request_length = 0;
    sent = taken = silent = 0;
}

void answer_live(live_switch answering) { live = std::move(answering); }

live_script live_script_read() {
    const read_so_far read = read_when_dry.value_or(read_so_far{live_read(), taken});
    return {std::span<const std::uint8_t>(live_records).first(read.bytes), read.records};
}

void on_dry_listen(void (*hook)()) { dry_hook = hook; }

std::size_t requests_sent() { return sent; }
std::size_t answers_taken() { return taken; }
std::size_t silent_waits() { return silent; }

}  // namespace fuzz

namespace tv {

// As the real transport: the wait lengths only bound how long a wait would last, and none lasts.
int wait_length_ms() {
    if (Long_Poll) return 2000;
    if (Discover) return 60;
    return g_ip_timeout > 0 ? g_ip_timeout : 0;
}

void forget_socket(int) {}

int wait_and_recv(tv_context* ctx, void* buf, int32_t capacity, int32_t& received, sockaddr_in* from,
                  int /*limit_ms*/) {
    if (dry()) {
        time_out();
        return 0;
    }
    const std::size_t length = take_answer(ctx, from);
    const std::size_t copied = deliver(length, buf, capacity > 0 ? static_cast<std::size_t>(capacity) : 0);
    // As a receive with MSG_TRUNC, the length of the whole datagram when the sender is asked for.
    received = static_cast<int32_t>(from != nullptr ? length : copied);
    return 1;
}

int32_t send_datagram(tv_context* ctx, wire::cbytes msg) {
    request_length = std::min(msg.size(), request.size());
    std::copy_n(msg.begin(), request_length, request.begin());
    ++sent;
    if (live) answer_live_request(ctx, msg);
    return static_cast<int32_t>(msg.size());
}

int wait_for_datagram(tv_context*, int) {
    if (!dry(waiting::listening)) return 1;
    if (dry_hook != nullptr) dry_hook();
    return 0;
}

ssize_t receive_whole(tv_context* ctx, wire::bytes buf, sockaddr_in& from) {
    if (dry(waiting::listening)) {
        errno = EAGAIN;
        return -1;
    }
    const std::size_t length = take_answer(ctx, &from);
    deliver(length, buf.data(), buf.size());
    return static_cast<ssize_t>(length);
}

int32_t recv_datagram(tv_context* ctx, wire::bytes buf) {
    if (dry()) return -1;
    return static_cast<int32_t>(deliver(take_answer(ctx, nullptr), buf.data(), buf.size()));
}

void pause_us(int32_t) {}

}  // namespace tv

// The wait of the C interface (tv_send, tv_recv and tv_delay come from the library, over the
// functions above).
extern "C" {

int32_t poll_sock(int32_t) {
    if (!dry()) return 1;
    time_out();
    return 0;
}

}  // extern "C"
