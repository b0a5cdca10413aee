#include "switchsim/core/server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>

#include "proto/header.h"
#include "switchsim/core/dispatch.h"

namespace sim {

namespace {

constexpr std::size_t max_datagram = 2048;
constexpr int drain_per_wakeup = 64;        // datagrams read from one socket per wake-up
constexpr auto hold_limit = std::chrono::milliseconds(1000);  // a reordered answer's latest time
constexpr std::size_t last_answer_limit = 4096;
constexpr std::size_t receiving_threads_limit = 8;  // above it, one epoll loop serves them all

std::string text_of(const sockaddr_in& a) {
    char ip[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &a.sin_addr, ip, sizeof ip);
    return std::string(ip) + ":" + std::to_string(ntohs(a.sin_port));
}

// A switch with a latency answers when its service time is over, not as late as the system's
// default timer slack (50 microseconds) lets each of the loop's timed waits run: with the
// default, the answers of 1 ms switches went out a median 40 to 90 microseconds late; now 26.
void keep_time_closely() { ::prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL); }

}  // namespace

server::server(fabric f, server_options o)
    : fabric_(std::move(f)), opts_(std::move(o)), faults_(opts_.seed) {
    for (const auto& r : opts_.faults) faults_.add(r);
}

server::~server() {
    stop();
    if (thread_.joinable()) thread_.join();
    for (auto& e : endpoints_) ::close(e.fd);
    if (epoll_fd_ >= 0) ::close(epoll_fd_);
    if (wake_fd_ >= 0) ::close(wake_fd_);
}

bool server::bind(std::string& error) {
    index_ = handler_index::build(all_families(), error);
    if (!index_) return false;
    epoll_fd_ = ::epoll_create1(EPOLL_CLOEXEC);
    wake_fd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (epoll_fd_ < 0 || wake_fd_ < 0) {
        error = std::string("cannot create the event loop: ") + std::strerror(errno);
        return false;
    }
    epoll_event wake{};
    wake.events = EPOLLIN;
    wake.data.u64 = UINT64_MAX;
    ::epoll_ctl(epoll_fd_, EPOLL_CTL_ADD, wake_fd_, &wake);

    for (std::size_t i = 0; i < fabric_.switches.size(); ++i) {
        const auto& s = fabric_.switches[i];
        if (s.ip == 0) continue;
        endpoint e;
        e.sw = i;
        e.addr.sin_family = AF_INET;
        e.addr.sin_port = htons(opts_.port);
        e.addr.sin_addr.s_addr = s.ip;
        e.fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        if (e.fd < 0 || ::bind(e.fd, reinterpret_cast<sockaddr*>(&e.addr), sizeof e.addr) != 0) {
            error = "cannot bind " + text_of(e.addr) + " for switch " + s.name + ": " +
                    std::strerror(errno);
            if (e.fd >= 0) ::close(e.fd);
            return false;
        }
        epoll_event ev{};
        ev.events = EPOLLIN;
        ev.data.u64 = endpoints_.size();
        ::epoll_ctl(epoll_fd_, EPOLL_CTL_ADD, e.fd, &ev);
        endpoints_.push_back(e);
    }
    rx_.resize(endpoints_.size());
    if (!endpoints_.empty() && endpoints_.size() <= receiving_threads_limit) {
        wake_sock_.reset(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
        wake_addr_.sin_family = AF_INET;
        wake_addr_.sin_addr.s_addr = endpoints_[0].addr.sin_addr.s_addr;
        socklen_t len = sizeof wake_addr_;
        if (!wake_sock_ || ::bind(wake_sock_.get(), reinterpret_cast<sockaddr*>(&wake_addr_), sizeof wake_addr_) != 0 ||
            ::getsockname(wake_sock_.get(), reinterpret_cast<sockaddr*>(&wake_addr_), &len) != 0) {
            error = std::string("cannot make the loop's wake-up socket: ") + std::strerror(errno);
            return false;
        }
    }
    if (!opts_.capture_path.empty() && !capture_.open(opts_.capture_path)) {
        error = "cannot write the capture file " + opts_.capture_path + ": " + std::strerror(errno);
        return false;
    }
    return true;
}

void server::run() {
    keep_time_closely();
    if (wake_sock_) {
        std::vector<std::thread> others;
        for (std::size_t ep = 1; ep < endpoints_.size(); ++ep)
            others.emplace_back([this, ep] {
                keep_time_closely();
                receive_loop(ep);
            });
        receive_loop(0);
        for (auto& t : others) t.join();
    }
    std::array<epoll_event, 16> events;
    while (!stopping_.load()) {
        const auto wait = next_wait();
        const int n = ::epoll_pwait2(epoll_fd_, events.data(), static_cast<int>(events.size()),
                                     wait ? &*wait : nullptr, nullptr);
        if (n < 0 && errno != EINTR) break;
        for (int i = 0; i < n; ++i) {
            if (events[i].data.u64 == UINT64_MAX) {  // woken: to stop, or to replan the timers
                std::uint64_t count = 0;
                (void)!::read(wake_fd_, &count, sizeof count);
                continue;
            }
            serve_socket(events[i].data.u64);
        }
        std::lock_guard lock(mu_);
        release_due();
        run_ticks();
        flush_outgoing();
    }
    // What had already arrived when the stop came is still served: a capture or a test that
    // stops the simulator right after its last request then sees that request handled.
    for (std::size_t ep = 0; ep < endpoints_.size(); ++ep) serve_socket(ep);
    std::lock_guard lock(mu_);
    flush_outgoing();
    capture_.flush();
}

void server::start() {
    stopping_ = false;
    thread_ = std::thread([this] { run(); });
}

void server::stop() {
    stopping_ = true;
    wake();
}

// The loop waits in epoll_wait, or, with a thread per socket, each in its receive: it is woken
// through the eventfd, and in the second case by a datagram from a socket of its own to each.
void server::wake() {
    if (wake_fd_ >= 0) {
        const std::uint64_t one = 1;
        (void)!::write(wake_fd_, &one, sizeof one);
    }
    if (!wake_sock_) return;
    const char nudge = 0;
    for (const endpoint& e : endpoints_)
        ::sendto(wake_sock_.get(), &nudge, 1, 0, reinterpret_cast<const sockaddr*>(&e.addr), sizeof e.addr);
}

struct server::receive_batch {
    static constexpr int size = 32;
    std::array<std::array<std::uint8_t, max_datagram>, size> bufs;
    std::array<iovec, size> iov;
    std::array<sockaddr_in, size> from;
    std::array<mmsghdr, size> msgs;
};

void server::serve_socket(std::size_t ep) {
    for (int read = 0; read < drain_per_wakeup;) {
        const int n = receive(ep, MSG_DONTWAIT);
        if (n < receive_batch::size) return;  // nothing more was waiting
        read += n;
    }
}

// One call that reads what is waiting on the socket of `ep` (with MSG_WAITFORONE: waits for
// the first datagram), and the handling of each; returns how many were read.
int server::receive(std::size_t ep, int flags) {
    if (!rx_[ep]) rx_[ep] = std::make_unique<receive_batch>();
    receive_batch& b = *rx_[ep];
    for (int i = 0; i < receive_batch::size; ++i) {
        b.iov[i] = {b.bufs[i].data(), b.bufs[i].size()};
        b.msgs[i].msg_hdr = {};
        b.msgs[i].msg_hdr.msg_name = &b.from[i];
        b.msgs[i].msg_hdr.msg_namelen = sizeof b.from[i];
        b.msgs[i].msg_hdr.msg_iov = &b.iov[i];
        b.msgs[i].msg_hdr.msg_iovlen = 1;
    }
    const int n = ::recvmmsg(endpoints_[ep].fd, b.msgs.data(), receive_batch::size, flags, nullptr);
    if (n <= 0) return 0;  // drained (EAGAIN), timed out, or a transient error
    std::lock_guard lock(mu_);
    for (int i = 0; i < n; ++i) {
        if (b.from[i].sin_port == wake_addr_.sin_port && b.from[i].sin_addr.s_addr == wake_addr_.sin_addr.s_addr)
            continue;  // the loop's own nudge
        handle(ep, {b.bufs[i].data(), std::min<std::size_t>(b.msgs[i].msg_len, max_datagram)}, b.from[i]);
    }
    return n;
}

// One socket's thread: it waits in the receive itself, which saves the epoll_wait of every
// request. With a timer planned it waits in ppoll instead, which keeps time to the
// nanosecond; whichever thread finds the timers due runs them, under the mutex.
void server::receive_loop(std::size_t ep) {
    const int fd = endpoints_[ep].fd;
    const int fl = ::fcntl(fd, F_GETFL);
    ::fcntl(fd, F_SETFL, fl & ~O_NONBLOCK);
    while (!stopping_.load()) {
        const auto wait = next_wait();
        if (wait && (wait->tv_sec != 0 || wait->tv_nsec != 0)) {
            pollfd p{fd, POLLIN, 0};
            ::ppoll(&p, 1, &*wait, nullptr);
        }
        const int n = receive(ep, wait ? MSG_DONTWAIT : MSG_WAITFORONE);
        if (n == receive_batch::size) serve_socket(ep);
        std::lock_guard lock(mu_);
        release_due();
        run_ticks();
        flush_outgoing();
    }
    ::fcntl(fd, F_SETFL, fl);
}

void server::handle(std::size_t ep, std::span<const std::uint8_t> d, const sockaddr_in& from) {
    ++stats_.received;
    keep(record::direction::in, ep, from, d);
    if (capture_.is_open()) capture_.write(from, endpoints_[ep].addr, d);

    const dispatch_result r = dispatch(*index_, fabric_, endpoints_[ep].sw, d, from.sin_addr.s_addr,
                                       ntohs(from.sin_port));
    using outcome = dispatch_result::outcome;
    std::string verdict;
    switch (r.what) {
        case outcome::answered: break;
        case outcome::silent: verdict = "handled, no answer"; break;
        case outcome::bad_checksum: ++stats_.bad_checksum; verdict = "bad checksum, ignored"; break;
        case outcome::malformed: ++stats_.malformed; verdict = "malformed, ignored"; break;
        case outcome::restarting: ++stats_.restarting; verdict = "restarting, dropped"; break;
        case outcome::unroutable:
            ++stats_.unroutable;
            verdict = "no route to chassis " + std::to_string(chassis_of(r.dest)) + ", ignored";
            break;
    }
    if (opts_.verbose && opts_.log_out != nullptr) {
        const std::string who = fabric_.switches[r.sw.value_or(endpoints_[ep].sw)].name;
        std::fprintf(opts_.log_out, "%s <- %s %s (cmd 0x%02x", who.c_str(), text_of(from).c_str(),
                     r.name, r.command);
        if (has_subcommands(r.command)) std::fprintf(opts_.log_out, " sub 0x%x", r.subcommand);
        if (r.what == outcome::answered)
            std::fprintf(opts_.log_out, ") seq %u: status 0x%02x, %zu bytes\n", r.seq, r.status,
                         std::max<std::size_t>(r.answer.size(), TV_MIN_MSG_LEN));
        else
            std::fprintf(opts_.log_out, ") seq %u: %s\n", r.seq, verdict.c_str());
        if (!r.note.empty()) std::fprintf(opts_.log_out, "   %s\n", r.note.c_str());
    }
    if (r.what == outcome::answered)
        send_answer(ep, from, r, d, served_at(r.sw.value_or(endpoints_[ep].sw)));
    send_unsolicited(ep, r.sends);
}

// When the switch that answers a request has done so: now without a latency, else one service
// time after the later of now and its previous answer.
std::chrono::steady_clock::time_point server::served_at(std::size_t sw) {
    const auto latency = fabric_.switches[sw].latency;
    if (latency.count() == 0) return std::chrono::steady_clock::time_point::min();
    if (busy_until_.size() < fabric_.switches.size()) busy_until_.resize(fabric_.switches.size());
    busy_until_[sw] = std::max(busy_until_[sw], std::chrono::steady_clock::now()) + latency;
    return busy_until_[sw];
}

// Fault effects are drawn first; every datagram sent is then framed once, by frame_answer. An
// answer not `ready` yet (a switch with a latency) is scheduled, its faults' delays after it.
void server::send_answer(std::size_t ep, const sockaddr_in& to, const dispatch_result& r,
                         std::span<const std::uint8_t> request, std::chrono::steady_clock::time_point ready) {
    ++stats_.answered;
    const fault_effects fx = faults_.empty() ? fault_effects{} : faults_.decide(r.command, r.subcommand);
    const std::uint8_t status = fx.status.value_or(r.status);
    std::vector<std::uint8_t> body = r.answer;
    fx.reshape(body);
    std::vector<std::uint8_t> answer = frame_answer(body, request, status, r.seq, fx.corrupt);
    if (fx.truncate && *fx.truncate < answer.size()) answer.resize(*fx.truncate);
    const auto now = std::chrono::steady_clock::now();
    const bool later = ready > now;
    if (!fx.any()) {
        if (later)
            scheduled_.push_back({ready, ep, to, std::move(answer), false});
        else
            send_now(ep, to, answer);
        return;
    }
    if (fx.drop) {
        ++stats_.dropped;
        if (opts_.verbose && opts_.log_out) std::fprintf(opts_.log_out, "   answer dropped (fault)\n");
        // A lost answer still takes its turn: what was held back for that manager goes now.
        release_held(to, {});
        return;
    }
    const std::uint64_t peer = peer_key(to.sin_addr.s_addr, ntohs(to.sin_port));
    std::vector<std::vector<std::uint8_t>> out;
    if (fx.stale_first) {
        // The previous answer to that manager, or else this one with an older sequence number.
        const auto it = last_answer_.find(peer);
        out.push_back(it != last_answer_.end()
                          ? it->second
                          : frame_answer(body, request, status, r.seq - 1, fx.corrupt));
    }
    out.push_back(answer);
    if (fx.duplicate) out.push_back(answer);
    if (last_answer_.size() >= last_answer_limit) last_answer_.clear();
    last_answer_[peer] = std::move(answer);

    const auto from = later ? ready : now;
    for (auto& bytes : out) {
        if (fx.reorder)
            scheduled_.push_back({from + hold_limit, ep, to, std::move(bytes), true});
        else if (fx.delay_ms > 0 || later)
            scheduled_.push_back({from + std::chrono::milliseconds(fx.delay_ms), ep, to,
                                  std::move(bytes), false});
        else
            send_now(ep, to, bytes);
    }
}

void server::send_now(std::size_t ep, const sockaddr_in& to, std::span<const std::uint8_t> bytes) {
    transmit(ep, to, bytes);
    release_held(to, bytes);
}

void server::transmit(std::size_t ep, const sockaddr_in& to, std::span<const std::uint8_t> bytes) {
    outgoing_.push_back({endpoints_[ep].fd, to, {bytes.begin(), bytes.end()}});
    keep(record::direction::out, ep, to, bytes);
    if (capture_.is_open()) capture_.write(endpoints_[ep].addr, to, bytes);
}

void server::flush_outgoing() {
    constexpr std::size_t chunk = 64;
    std::array<mmsghdr, chunk> msgs;
    std::array<iovec, chunk> iov;
    for (std::size_t first = 0; first < outgoing_.size();) {
        // One call for a run of datagrams that leave from the same socket, in their order.
        std::size_t n = 0;
        const int fd = outgoing_[first].fd;
        while (n < chunk && first + n < outgoing_.size() && outgoing_[first + n].fd == fd) {
            outgoing& o = outgoing_[first + n];
            iov[n] = {o.bytes.data(), o.bytes.size()};
            msgs[n] = {};
            msgs[n].msg_hdr.msg_name = &o.to;
            msgs[n].msg_hdr.msg_namelen = sizeof o.to;
            msgs[n].msg_hdr.msg_iov = &iov[n];
            msgs[n].msg_hdr.msg_iovlen = 1;
            ++n;
        }
        const int sent = ::sendmmsg(fd, msgs.data(), static_cast<unsigned>(n), 0);
        // A datagram the socket refuses is lost, as a network would lose it: skip past it.
        first += sent > 0 ? static_cast<std::size_t>(sent) : 1;
    }
    outgoing_.clear();
}

// Datagrams of a switch leave from its own socket; a switch reached only through the fabric
// uses the socket of `ep`. Faults apply to answers only.
void server::send_unsolicited(std::size_t ep, const std::vector<unsolicited>& sends) {
    for (const auto& u : sends) {
        std::size_t from = ep;
        for (std::size_t i = 0; i < endpoints_.size(); ++i)
            if (endpoints_[i].sw == u.sw) from = i;
        if (opts_.verbose && opts_.log_out != nullptr)
            std::fprintf(opts_.log_out, "%s -> %s unsolicited, %zu bytes\n",
                         fabric_.switches[u.sw].name.c_str(), text_of(u.to).c_str(), u.bytes.size());
        transmit(from, u.to, u.bytes);
    }
}

void server::run_ticks() {
    const auto now = sim_clock::now();
    if (now < next_tick_ || endpoints_.empty()) return;
    std::vector<unsolicited> out;
    ++fabric_.revision;
    next_tick_ = sim_clock::time_point::max();
    families::each([&](const family_info& f) {
        if (f.on_tick != nullptr) next_tick_ = std::min(next_tick_, f.on_tick(fabric_, now, out));
    });
    send_unsolicited(0, out);
}

void server::replan_ticks() {
    next_tick_ = sim_clock::time_point::min();
    wake();
}

// An answer held back for this manager follows the one just sent (or lost), `after` itself
// excepted.
void server::release_held(const sockaddr_in& to, std::span<const std::uint8_t> after) {
    for (auto it = scheduled_.begin(); it != scheduled_.end(); ++it) {
        if (it->held && it->to.sin_addr.s_addr == to.sin_addr.s_addr &&
            it->to.sin_port == to.sin_port && it->bytes.data() != after.data()) {
            scheduled held = std::move(*it);
            scheduled_.erase(it);
            held.held = false;
            held.due = std::chrono::steady_clock::time_point::min();
            scheduled_.push_back(std::move(held));
            return;
        }
    }
}

void server::release_due() {
    const auto now = std::chrono::steady_clock::now();
    // Sending may release a held answer into scheduled_, so pick one at a time.
    for (;;) {
        auto it = std::min_element(scheduled_.begin(), scheduled_.end(),
                                   [](const scheduled& a, const scheduled& b) { return a.due < b.due; });
        if (it == scheduled_.end() || it->due > now) return;
        scheduled s = std::move(*it);
        scheduled_.erase(it);
        send_now(s.endpoint, s.to, s.bytes);
    }
}

std::optional<timespec> server::next_wait() const {
    std::lock_guard lock(mu_);
    auto due = next_tick_;
    for (const auto& s : scheduled_) due = std::min(due, s.due);
    if (due == sim_clock::time_point::max()) return std::nullopt;
    const auto now = sim_clock::now();
    if (due <= now) return timespec{0, 0};
    // A timer far away is waited for in steps of an hour.
    const auto ns = std::min<std::int64_t>(std::chrono::nanoseconds(due - now).count(), 3600'000'000'000);
    return timespec{static_cast<time_t>(ns / 1'000'000'000), static_cast<long>(ns % 1'000'000'000)};
}

void server::keep(record::direction dir, std::size_t ep, const sockaddr_in& peer,
                  std::span<const std::uint8_t> bytes) {
    if (opts_.record_limit == 0) return;
    if (records_.size() >= opts_.record_limit) records_.pop_front();
    records_.push_back({dir, endpoints_[ep].sw, peer, {bytes.begin(), bytes.end()}});
}

std::vector<record> server::records() const {
    std::lock_guard lock(mu_);
    return {records_.begin(), records_.end()};
}

void server::clear_records() {
    std::lock_guard lock(mu_);
    records_.clear();
}

server_stats server::stats() const {
    std::lock_guard lock(mu_);
    return stats_;
}

void server::add_fault(const fault_rule& r) {
    std::lock_guard lock(mu_);
    faults_.add(r);
}

void server::clear_faults() {
    std::lock_guard lock(mu_);
    faults_.clear();
    scheduled_.clear();
}

std::vector<sockaddr_in> server::addresses() const {
    std::vector<sockaddr_in> out;
    for (const auto& e : endpoints_) out.push_back(e.addr);
    return out;
}

}  // namespace sim
