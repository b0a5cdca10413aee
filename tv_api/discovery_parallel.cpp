// Discovery with many probes in flight. The sequential discovery probes one address at a time,
// about 0.23 s for each silent one; this one keeps up to N version requests outstanding on one
// socket and matches each answer to its probe by sequence number and source address, so a
// silent /16 takes seconds instead of four hours. It reports the same addresses in the same
// order as the sequential discovery.
//
// Each probe is tried three times, 60 ms apart, as discovery mode would. An ICMP "port
// unreachable" for a probe (IP_RECVERR) ends it at once: nothing listens there. Answers are
// taken only when well formed (checksum, command, length, status 0), whatever the strict
// setting, since nothing else tells one probe's answer from garbage.
#include <arpa/inet.h>
#include <linux/errqueue.h>
#include <netinet/ip_icmp.h>
#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <mutex>
#include <optional>
#include <span>
#include <system_error>
#include <thread>
#include <unordered_map>
#include <vector>

#include "proto/identity/layout.h"
#include "tv_api/address_range.h"
#include "tv_api/alloc.h"
#include "tv_api/tv_inter.h"

namespace {

using steady = std::chrono::steady_clock;
namespace L = tv::layout::identity;

constexpr int tries = 3;
constexpr auto try_wait = std::chrono::milliseconds(60);
// Answers (and "port unreachable" errors, which count against the receive buffer) to tens of
// thousands of probes can arrive at once; the buffers are raised as far as the system allows.
constexpr int wanted_buffer = 64 << 20;

struct probe {
    std::uint32_t addr = 0;  // network order
    std::uint32_t seq = 0;
    int sent = 0;
    steady::time_point due{};
    enum class state : std::uint8_t { waiting, in_flight, found, silent } st = state::waiting;
};

// Raises a socket buffer: past the system's limit where the process may (root), else as far as
// the limit goes.
void raise_buffer(int fd, int option, int forced_option) {
    if (::setsockopt(fd, SOL_SOCKET, forced_option, &wanted_buffer, sizeof wanted_buffer) == 0) return;
    ::setsockopt(fd, SOL_SOCKET, option, &wanted_buffer, sizeof wanted_buffer);
}

// Sends every message, one system call for as many as go. A call that fails having sent
// nothing is most often the report of an error that earlier probes drew: with IP_RECVERR each
// "port unreachable" is left pending on the socket, and the next send returns it instead of
// sending. So the datagram is sent again (after waiting for room, when the buffer was full);
// one that still cannot go after a few tries (no route) is passed over: its try still counts.
void send_all(int fd, std::span<mmsghdr> msgs) {
    constexpr int tries_per_datagram = 4;
    int failed = 0;
    for (std::size_t k = 0; k < msgs.size();) {
        const int n = ::sendmmsg(fd, msgs.data() + k, static_cast<unsigned>(msgs.size() - k), 0);
        if (n > 0) {
            k += static_cast<std::size_t>(n);
            failed = 0;
            continue;
        }
        const int why = errno;
        if (why == EINTR) continue;
        if (why == EAGAIN || why == ENOBUFS) {
            pollfd room{fd, POLLOUT, 0};
            ::poll(&room, 1, 10);
        }
        if (++failed == tries_per_datagram) {
            ++k;
            failed = 0;
        }
    }
}

// Sends datagrams on a thread of its own while the caller sends others. Sending is most of a
// wide scan's time, and it is the kernel's work, done on the sender's processor: to a range
// where nothing listens, the "port unreachable" of each probe is built and queued within its
// send. Two senders share it between two processors. The socket is the caller's; a send of
// unconnected UDP takes no lock of the socket, so the two go side by side.
class second_sender {
public:
    explicit second_sender(int fd) : fd_(fd), thread_([this] { serve(); }) {}
    ~second_sender() {
        {
            std::lock_guard lk(mu_);
            stop_ = true;
        }
        work_.notify_one();
        thread_.join();
    }
    second_sender(const second_sender&) = delete;
    second_sender& operator=(const second_sender&) = delete;

    void start(std::span<mmsghdr> msgs) {
        {
            std::lock_guard lk(mu_);
            job_ = msgs;
            busy_ = true;
        }
        work_.notify_one();
    }
    void wait() {
        std::unique_lock lk(mu_);
        done_.wait(lk, [&] { return !busy_; });
    }

private:
    void serve() {
        std::unique_lock lk(mu_);
        for (;;) {
            work_.wait(lk, [&] { return busy_ || stop_; });
            if (stop_) return;
            const std::span<mmsghdr> job = job_;
            lk.unlock();
            send_all(fd_, job);
            lk.lock();
            busy_ = false;
            done_.notify_one();
        }
    }

    int fd_;
    std::mutex mu_;
    std::condition_variable work_, done_;
    std::span<mmsghdr> job_;
    bool busy_ = false, stop_ = false;
    std::thread thread_;  // last: it starts once the rest is made
};

class scanner {
public:
    scanner(std::vector<probe>& probes, int window) : probes_(probes), window_(window) {}

    // Runs every probe to its end; false when the socket could not be set up.
    bool run(tv_discover_progress progress, void* arg) {
        sock_.reset(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
        if (!sock_) return false;
        const int on = 1;
        ::setsockopt(sock_.get(), SOL_IP, IP_RECVERR, &on, sizeof on);
        raise_buffer(sock_.get(), SO_RCVBUF, SO_RCVBUFFORCE);
        raise_buffer(sock_.get(), SO_SNDBUF, SO_SNDBUFFORCE);
        by_seq_.reserve(std::min<std::size_t>(probes_.size(), static_cast<std::size_t>(window_)));
        by_addr_.reserve(by_seq_.bucket_count());
        // A wide scan on a machine of more than one processor sends on two; without a thread
        // (none to be had) it sends on one, as a narrow scan does.
        if (probes_.size() >= wide_scan && window_ >= static_cast<int>(batch_size) &&
            std::thread::hardware_concurrency() > 1) {
            try {
                second_.emplace(sock_.get());
            } catch (const std::system_error&) {
            }
        }
        std::size_t next = 0, done = 0;
        while (done < probes_.size()) {
            // Answers and errors are taken between sends too, so that a wide window does not
            // overrun the receive buffer before the first wait.
            for (int batch = 0; in_flight_ < window_ && next < probes_.size(); ++batch) {
                send(next++);
                if (batch % 1024 == 1023) {
                    flush();
                    read_answers();
                    read_errors();
                }
            }
            flush();
            wait_for_traffic();
            read_answers();
            read_errors();
            expire();
            done = next - static_cast<std::size_t>(in_flight_);
            if (progress != nullptr)
                progress(static_cast<uint32_t>(done), static_cast<uint32_t>(probes_.size()), arg);
        }
        return true;
    }

private:
    void send(std::size_t i) {
        probe& p = probes_[i];
        if (p.sent == 0) {
            tv_context dest{};
            dest.dest_fc_addr = TV_DEFAULT_DEST;
            std::array<std::uint8_t, L::version::req_len> req{};
            tv::write_header(&dest, req, TV_CMD_VERSION, req.size());
            p.seq = tv::wire::get_be32(req, tv::off::seq);
            by_seq_[p.seq] = i;
            by_addr_[p.addr] = i;
            ++in_flight_;
            p.st = probe::state::in_flight;
        }
        std::array<std::uint8_t, L::version::req_len> req{};
        tv_context dest{};
        dest.dest_fc_addr = TV_DEFAULT_DEST;
        // The same bytes on every try: the header is rebuilt with the probe's own number.
        tv::write_header(&dest, req, TV_CMD_VERSION, req.size());
        --msg_seq_num;
        tv::wire::put_be32(req, tv::off::seq, p.seq);
        tv::set_checksum(req);
        // Tries go out in batches, one system call each: sending dominates a wide window.
        outgoing& o = batch_[batched_++];
        o.bytes = req;
        o.to = {};
        o.to.sin_family = AF_INET;
        o.to.sin_port = htons(TV_SWITCH_UDP_PORT);
        o.to.sin_addr.s_addr = p.addr;
        if (batched_ == batch_.size()) flush();
        ++p.sent;
        p.due = steady::now() + try_wait;
        // Every try waits as long, so the queue of tries is in the order they fall due.
        tries_.push_back({i, p.sent});
    }

    // Sends the batched tries, half of a full batch on the second sender. A send that fails (no
    // buffer, no route) counts as a try: the probe still ends.
    void flush() {
        std::array<mmsghdr, batch_size> msgs{};
        std::array<iovec, batch_size> iovs{};
        for (std::size_t k = 0; k < batched_; ++k) {
            iovs[k] = {batch_[k].bytes.data(), batch_[k].bytes.size()};
            msgs[k].msg_hdr.msg_name = &batch_[k].to;
            msgs[k].msg_hdr.msg_namelen = sizeof batch_[k].to;
            msgs[k].msg_hdr.msg_iov = &iovs[k];
            msgs[k].msg_hdr.msg_iovlen = 1;
        }
        const std::span<mmsghdr> all(msgs.data(), batched_);
        if (second_ && batched_ == batch_size) {
            second_->start(all.subspan(batched_ / 2));
            send_all(sock_.get(), all.first(batched_ / 2));
            second_->wait();
        } else {
            send_all(sock_.get(), all);
        }
        batched_ = 0;
    }

    // The oldest try still current (its probe in flight and not tried since); nullptr when none.
    const probe* first_due() {
        while (!tries_.empty()) {
            const probe& p = probes_[tries_.front().index];
            if (p.st == probe::state::in_flight && p.sent == tries_.front().number) return &p;
            tries_.pop_front();
        }
        return nullptr;
    }

    void wait_for_traffic() {
        const probe* first = first_due();
        if (first == nullptr) return;
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(first->due - steady::now());
        pollfd p{sock_.get(), POLLIN, 0};
        ::poll(&p, 1, static_cast<int>(std::max<std::int64_t>(left.count(), 0)));
    }

    void finish(std::size_t i, probe::state st) {
        probe& p = probes_[i];
        if (p.st != probe::state::in_flight) return;
        p.st = st;
        by_seq_.erase(p.seq);
        if (const auto it = by_addr_.find(p.addr); it != by_addr_.end() && it->second == i)
            by_addr_.erase(it);
        --in_flight_;
    }

    void read_answers() {
        std::array<std::uint8_t, 2048> buf;
        for (;;) {
            sockaddr_in from{};
            socklen_t len = sizeof from;
            const ssize_t n = ::recvfrom(sock_.get(), buf.data(), buf.size(), MSG_TRUNC,
                                         reinterpret_cast<sockaddr*>(&from), &len);
            if (n < 0) return;
            const tv::wire::cbytes msg{buf.data(), std::min(static_cast<std::size_t>(n), buf.size())};
            if (static_cast<std::size_t>(n) != msg.size() || msg.size() < L::version::ret_len ||
                !tv::checksum_ok(msg) ||
                tv::wire::get_be16(msg, tv::off::length) != msg.size() - TV_HDR_LEN ||
                tv::wire::get_be16(msg, tv::off::command) != TV_CMD_VERSION ||
                tv::wire::get_u8(msg, tv::off::status) != TV_HDR_STATUS_OK ||
                from.sin_port != htons(TV_SWITCH_UDP_PORT))
                continue;
            const auto it = by_seq_.find(tv::wire::get_be32(msg, tv::off::seq));
            if (it == by_seq_.end() || probes_[it->second].addr != from.sin_addr.s_addr) continue;
            finish(it->second, probe::state::found);
        }
    }

    // "Port unreachable" for a probe's address: nothing listens there. A refused range sends
    // one back for every probe, so they are read many to a system call.
    void read_errors() {
        constexpr std::size_t at_once = 64;
        struct slot {
            sockaddr_in to;
            std::array<std::uint8_t, 64> data;
            std::array<char, 256> control;
            iovec iov;
        };
        std::array<slot, at_once> slots;
        std::array<mmsghdr, at_once> msgs;
        for (;;) {
            for (std::size_t k = 0; k < at_once; ++k) {
                slot& s = slots[k];
                s.iov = {s.data.data(), s.data.size()};
                msgs[k] = {};
                msgs[k].msg_hdr.msg_name = &s.to;
                msgs[k].msg_hdr.msg_namelen = sizeof s.to;
                msgs[k].msg_hdr.msg_iov = &s.iov;
                msgs[k].msg_hdr.msg_iovlen = 1;
                msgs[k].msg_hdr.msg_control = s.control.data();
                msgs[k].msg_hdr.msg_controllen = s.control.size();
            }
            const int n = ::recvmmsg(sock_.get(), msgs.data(), at_once, MSG_ERRQUEUE | MSG_DONTWAIT, nullptr);
            if (n <= 0) return;
            for (std::size_t k = 0; k < static_cast<std::size_t>(n); ++k) refused(msgs[k].msg_hdr);
            if (static_cast<std::size_t>(n) < at_once) return;
        }
    }

    void refused(msghdr& mh) {
        const auto& to = *static_cast<const sockaddr_in*>(mh.msg_name);
        for (cmsghdr* c = CMSG_FIRSTHDR(&mh); c != nullptr; c = CMSG_NXTHDR(&mh, c)) {
            if (c->cmsg_level != SOL_IP || c->cmsg_type != IP_RECVERR) continue;
            sock_extended_err ee;
            std::memcpy(&ee, CMSG_DATA(c), sizeof ee);
            if (ee.ee_origin != SO_EE_ORIGIN_ICMP || ee.ee_type != ICMP_DEST_UNREACH) continue;
            if (const auto it = by_addr_.find(to.sin_addr.s_addr); it != by_addr_.end())
                finish(it->second, probe::state::silent);
        }
    }

    void expire() {
        const auto now = steady::now();
        for (const probe* p = first_due(); p != nullptr && p->due <= now; p = first_due()) {
            const std::size_t i = tries_.front().index;
            tries_.pop_front();
            if (p->sent < tries) {
                send(i);
            } else {
                finish(i, probe::state::silent);
            }
        }
        flush();
    }

    static constexpr std::size_t batch_size = 256;
    // From how many probes a scan is wide enough to send on two processors.
    static constexpr std::size_t wide_scan = 2048;
    struct outgoing {
        std::array<std::uint8_t, L::version::req_len> bytes;
        sockaddr_in to;
    };
    std::array<outgoing, batch_size> batch_{};
    std::size_t batched_ = 0;

    struct try_made {
        std::size_t index;  // of the probe
        int number;         // its count of tries once this one was sent
    };

    std::vector<probe>& probes_;
    int window_;
    tv::unique_fd sock_;
    int in_flight_ = 0;
    std::deque<try_made> tries_;
    std::unordered_map<std::uint32_t, std::size_t> by_seq_;
    std::unordered_map<std::uint32_t, std::size_t> by_addr_;
    std::optional<second_sender> second_;  // last: it stops before the socket closes
};

char** fail_null(int32_t code) {
    tv::publish(code);
    return nullptr;
}

}  // namespace

namespace {

char** discover_parallel(const uint32_t* list, const char* base, int32_t count, int32_t in_flight,
                         tv_discover_progress progress, void* arg) {
    if (in_flight < 1 || (list == nullptr && (count < 0 || base == nullptr)))
        return fail_null(TV_ERR_PARAM);
    std::vector<probe> probes;
    if (list != nullptr) {
        // As the sequential discovery: the last entry of a list is never probed.
        std::size_t n = 0;
        while (list[n] != 0) ++n;
        for (std::size_t i = 0; i + 1 < n; ++i) probes.push_back({list[i]});
    } else {
        in_addr a{};
        if (tv::to_int(base) > 0) {
            a.s_addr = inet_addr(base);
        } else if (inet_aton(base, &a) == 0) {
            return fail_null(TV_ERR_BAD_HOST);
        }
        std::uint32_t addr = a.s_addr;
        for (int32_t k = 0; k < count; ++k, addr = tv::next_address(addr)) probes.push_back({addr});
    }

    scanner scan(probes, in_flight);
    if (!scan.run(progress, arg)) return fail_null(TV_ERR_SOCKET);

    std::size_t found = 0;
    for (const auto& p : probes) found += p.st == probe::state::found;
    auto* result = static_cast<char**>(tv::alloc_zeroed(found + 1, sizeof(char*)));
    if (result == nullptr) return fail_null(TV_ERR_NOMEM);
    std::size_t k = 0;
    for (const auto& p : probes) {
        if (p.st != probe::state::found) continue;
        in_addr a{};
        a.s_addr = p.addr;
        std::array<char, INET_ADDRSTRLEN> text{};
        inet_ntop(AF_INET, &a, text.data(), text.size());
        result[k] = tv::copy_text(text.data());
        if (result[k++] == nullptr) {
            tv_free_discovery(result, nullptr);
            return fail_null(TV_ERR_NOMEM);
        }
    }
    tv::publish(TV_OK);
    return result;
}

}  // namespace

extern "C" char** tv_discover_parallel(const uint32_t* list, const char* base, int32_t count,
                                       int32_t in_flight, tv_discover_progress progress,
                                       void* arg) {
    char** result = nullptr;
    const int32_t status = tv::status_without_throwing(TV_ERR_NOMEM, [&] {
        result = discover_parallel(list, base, count, in_flight, progress, arg);
        return TV_OK;
    });
    return status == TV_OK ? result : fail_null(status);
}
