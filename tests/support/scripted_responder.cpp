#include "scripted_responder.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <stdexcept>

#include "proto/wire.h"
#include "telvar/tv_api.h"

namespace tvtest {

namespace wire = tv::wire;

scripted_responder::scripted_responder(const std::string& ip, std::uint16_t port) {
    sock_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = inet_addr(ip.c_str());
    if (sock_ < 0 || ::bind(sock_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
        ::pipe2(stop_pipe_, O_CLOEXEC) != 0)
        throw std::runtime_error("scripted_responder: cannot bind " + ip);
    other_sock_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    a.sin_port = 0;
    if (other_sock_ < 0 || ::bind(other_sock_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0)
        throw std::runtime_error("scripted_responder: cannot bind a second port on " + ip);
    thread_ = std::thread([this] { run(); });
}

scripted_responder::~scripted_responder() {
    const char c = 0;
    (void)!::write(stop_pipe_[1], &c, 1);
    thread_.join();
    ::close(sock_);
    ::close(other_sock_);
    ::close(stop_pipe_[0]);
    ::close(stop_pipe_[1]);
}

void scripted_responder::script(std::vector<step> steps) {
    std::lock_guard lock(mu_);
    steps_.assign(steps.begin(), steps.end());
}

void scripted_responder::set_fallback(step s) {
    std::lock_guard lock(mu_);
    fallback_ = std::move(s);
}

std::vector<bytes> scripted_responder::received() const {
    std::lock_guard lock(mu_);
    return received_;
}

std::size_t scripted_responder::count() const {
    std::lock_guard lock(mu_);
    return received_.size();
}

bool scripted_responder::wait_for(std::size_t n, std::chrono::milliseconds limit) const {
    std::unique_lock lock(mu_);
    return cv_.wait_for(lock, limit, [&] { return received_.size() >= n; });
}

void scripted_responder::send_to(const sockaddr_in& to, const bytes& datagram) const {
    ::sendto(sock_, datagram.data(), datagram.size(), 0, reinterpret_cast<const sockaddr*>(&to),
             sizeof to);
}

bytes scripted_responder::make_answer(const bytes& request, const step& s) {
    bytes m(TV_HDR_LEN + s.payload.size() + TV_CHKSUM_LEN, 0);
    std::copy_n(request.begin(), std::min<std::size_t>(TV_HDR_LEN, request.size()), m.begin());
    std::copy(s.payload.begin(), s.payload.end(), m.begin() + TV_HDR_LEN);
    wire::put_u8(m, 2, s.status);
    if (s.command >= 0) wire::put_be16(m, 8, static_cast<std::uint16_t>(s.command));
    wire::put_be16(m, 10, static_cast<std::uint16_t>(m.size() - TV_HDR_LEN + s.length_delta));
    wire::put_be32(m, 12, wire::get_be32(request, 12) + static_cast<std::uint32_t>(s.seq_delta));
    tv_set_chksum(m.data(), static_cast<int32_t>(m.size()));
    if (s.what == step::kind::bad_checksum) m.back() ^= 0x5A;
    if (s.what == step::kind::short_datagram) m.resize(10);
    return m;
}

void scripted_responder::handle(const bytes& request, const sockaddr_in& from) {
    step s;
    {
        std::lock_guard lock(mu_);
        received_.push_back(request);
        if (!steps_.empty()) {
            s = steps_.front();
            steps_.pop_front();
        } else {
            s = fallback_;
        }
    }
    cv_.notify_all();
    if (s.what == step::kind::silent) return;
    const auto due = std::chrono::steady_clock::now() + std::chrono::milliseconds(s.delay_ms);
    std::vector<bytes> out;
    if (s.stale_first) {
        step stale = s;
        stale.seq_delta -= 1;
        stale.what = step::kind::answer;
        out.push_back(make_answer(request, stale));
    }
    if (s.short_first) {
        step junk = s;
        junk.what = step::kind::short_datagram;
        out.push_back(make_answer(request, junk));
    }
    out.push_back(make_answer(request, s));
    std::lock_guard lock(mu_);
    for (auto& d : out) pending_.push_back({due, from, d, s.from_other_port});
    for (int k = 1; k <= s.repeat; ++k)
        pending_.push_back({due + std::chrono::milliseconds(k * s.repeat_every_ms), from,
                            out.back(), s.from_other_port});
}

void scripted_responder::run() {
    for (;;) {
        // Send whatever is due, in the order it was queued.
        std::vector<pending> due;
        int wait_ms = 20;
        {
            std::lock_guard lock(mu_);
            const auto now = std::chrono::steady_clock::now();
            auto split = std::stable_partition(pending_.begin(), pending_.end(),
                                               [&](const pending& p) { return p.due <= now; });
            due.assign(std::make_move_iterator(pending_.begin()), std::make_move_iterator(split));
            pending_.erase(pending_.begin(), split);
            for (const auto& p : pending_) {
                const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(p.due - now);
                wait_ms = std::clamp<int>(static_cast<int>(left.count()) + 1, 0, wait_ms);
            }
        }
        for (const auto& p : due)
            ::sendto(p.other_port ? other_sock_ : sock_, p.datagram.data(), p.datagram.size(), 0,
                     reinterpret_cast<const sockaddr*>(&p.to), sizeof p.to);

        pollfd fds[2] = {{sock_, POLLIN, 0}, {stop_pipe_[0], POLLIN, 0}};
        if (::poll(fds, 2, wait_ms) < 0) continue;
        if (fds[1].revents) return;
        if (fds[0].revents & POLLIN) {
            bytes buf(2048);
            sockaddr_in from{};
            socklen_t len = sizeof from;
            const ssize_t n = ::recvfrom(sock_, buf.data(), buf.size(), 0,
                                         reinterpret_cast<sockaddr*>(&from), &len);
            if (n < 0) continue;
            buf.resize(static_cast<std::size_t>(n));
            handle(buf, from);
        }
    }
}

}  // namespace tvtest
