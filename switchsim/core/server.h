// The simulator's server: one socket per switch with an IP address (UDP port 5000 on that
// address). A fabric with few addresses (most of them, real or simulated) gets one thread per
// socket waiting in its receive, which costs a request two system calls as a plain echo
// server's; more addresses are served by one epoll loop on one thread.
//
// It can run on the caller's thread (run) or on a thread of its own (start), which is how the
// tests run a fabric in-process. Everything the loop touches is guarded by one mutex, so a
// test may read or change the fabric and read the record of datagrams while it serves.
//
// A switch with a latency answers one request at a time: each answer is scheduled that long
// after the later of the request's arrival and the switch's previous answer, and the loop
// sends it when due, so requests to a busy switch queue while other switches go on answering.
//
// Besides answers, switches send datagrams of their own (traps): queued by a handler with its
// answer, or by a family's timer hook (family_info::on_tick), which the loop calls when due by
// bounding its wait. Both leave from a switch's socket and are recorded like answers.
#pragma once

#include <netinet/in.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "proto/unique_fd.h"
#include "switchsim/core/capture.h"
#include "switchsim/core/dispatch.h"
#include "switchsim/core/fabric.h"
#include "switchsim/core/faults.h"
#include "switchsim/core/handler_index.h"

namespace sim {

struct server_options {
    bool verbose = false;           // one line per request on `log_out`
    std::FILE* log_out = stderr;
    std::string capture_path;       // pcap file of every datagram, when not empty
    std::size_t record_limit = 0;   // datagrams kept in memory for inspection (0: none)
    std::uint32_t seed = 1;         // of the fault injection
    std::vector<fault_rule> faults;
    std::uint16_t port = 5000;
};

// A datagram the server received or sent.
struct record {
    enum class direction { in, out };
    direction dir = direction::in;
    std::size_t via = 0;            // the switch whose socket it reached or left
    sockaddr_in peer{};
    std::vector<std::uint8_t> bytes;
};

struct server_stats {
    std::uint64_t received = 0;
    std::uint64_t answered = 0;
    std::uint64_t bad_checksum = 0;
    std::uint64_t malformed = 0;
    std::uint64_t unroutable = 0;
    std::uint64_t restarting = 0;   // requests dropped while their switch restarted
    std::uint64_t dropped = 0;      // answers lost to fault injection
};

class server {
public:
    explicit server(fabric f, server_options o = {});
    ~server();
    server(const server&) = delete;
    server& operator=(const server&) = delete;

    // Builds the request lookup and binds the sockets; false with a message when two families
    // claim one command or an address cannot be bound.
    bool bind(std::string& error);
    // Serves until stop(). bind() must have succeeded.
    void run();
    void start();
    // Ends run(); safe from any thread and from a signal handler.
    void stop();

    // Runs f on the fabric under the lock. The timer hooks are called again afterwards, since
    // f may have changed what they plan.
    template <class F>
    decltype(auto) with_fabric(F&& f) {
        struct replan {
            server& s;
            ~replan() { s.replan_ticks(); }
        };
        std::lock_guard lock(mu_);
        ++fabric_.revision;
        replan after{*this};
        return f(fabric_);
    }
    std::vector<record> records() const;
    void clear_records();
    server_stats stats() const;
    void add_fault(const fault_rule& r);
    void clear_faults();
    // The addresses served, in the order of the fabric's switches that have one.
    std::vector<sockaddr_in> addresses() const;

private:
    struct endpoint {
        int fd = -1;
        std::size_t sw = 0;
        sockaddr_in addr{};
    };
    struct scheduled {
        std::chrono::steady_clock::time_point due;
        std::size_t endpoint = 0;
        sockaddr_in to{};
        std::vector<std::uint8_t> bytes;
        bool held = false;  // reordered: released by the next answer to the same manager
    };

    void serve_socket(std::size_t ep);
    int receive(std::size_t ep, int flags);
    void receive_loop(std::size_t ep);
    void wake();
    void handle(std::size_t ep, std::span<const std::uint8_t> d, const sockaddr_in& from);
    void send_now(std::size_t ep, const sockaddr_in& to, std::span<const std::uint8_t> bytes);
    void send_answer(std::size_t ep, const sockaddr_in& to, const dispatch_result& r,
                     std::span<const std::uint8_t> request, std::chrono::steady_clock::time_point ready);
    std::chrono::steady_clock::time_point served_at(std::size_t sw);
    void release_held(const sockaddr_in& to, std::span<const std::uint8_t> after);
    void release_due();
    // How long the loop may wait before a timer or a scheduled datagram is due (nullopt: no
    // limit), to the nanosecond: a latency of a millisecond is kept to within the system's
    // timer slack, not rounded to whole milliseconds or to the socket timeout's ticks.
    std::optional<timespec> next_wait() const;
    void transmit(std::size_t ep, const sockaddr_in& to, std::span<const std::uint8_t> bytes);
    void flush_outgoing();  // with mu_ held
    void send_unsolicited(std::size_t ep, const std::vector<unsolicited>& sends);
    void run_ticks();
    void replan_ticks();  // with mu_ held
    void keep(record::direction dir, std::size_t ep, const sockaddr_in& peer,
              std::span<const std::uint8_t> bytes);

    // Datagrams read in one call, and datagrams sent in one call at the end of each turn of the
    // loop: a turn then costs a few system calls however many requests it serves.
    struct receive_batch;
    struct outgoing {
        int fd;
        sockaddr_in to;
        std::vector<std::uint8_t> bytes;
    };

    fabric fabric_;
    server_options opts_;
    std::vector<std::unique_ptr<receive_batch>> rx_;  // per socket, made by its reader
    std::vector<outgoing> outgoing_;
    std::optional<handler_index> index_;
    std::vector<endpoint> endpoints_;
    int epoll_fd_ = -1;
    int wake_fd_ = -1;
    tv::unique_fd wake_sock_;  // with a thread per socket: nudges them out of their receives
    sockaddr_in wake_addr_{};
    std::atomic<bool> stopping_{false};
    std::thread thread_;

    mutable std::mutex mu_;
    fault_plan faults_;
    std::deque<record> records_;
    server_stats stats_;
    pcap_writer capture_;
    std::vector<scheduled> scheduled_;
    sim_clock::time_point next_tick_ = sim_clock::time_point::min();  // of the timer hooks
    std::map<std::uint64_t, std::vector<std::uint8_t>> last_answer_;  // for stale answers
    // Per switch: when it has answered the requests it was given (with a latency).
    std::vector<std::chrono::steady_clock::time_point> busy_until_;
};

}  // namespace sim
