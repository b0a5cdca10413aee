// The floor of every benchmark: a minimal UDP echo server, as a process of its own as a switch
// (or the simulator) is to the tool, and the plain round trip against it; and the in-process
// echo server that the simulator's throughput is compared with.
#pragma once

#include <netinet/in.h>
#include <sys/types.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

namespace bench {

// Echoes every datagram back to its sender, unchanged, from a thread of its own.
class udp_echo {
public:
    udp_echo(const std::string& ip, std::uint16_t port);
    ~udp_echo();
    const sockaddr_in& address() const { return addr_; }

private:
    int sock_ = -1;
    sockaddr_in addr_{};
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

// An echo server in a child process of its own, not pinned to any CPU: what the tool meets is
// a round trip between two processes that the scheduler places as it likes.
class echo_process {
public:
    echo_process(const std::string& ip, std::uint16_t port);
    ~echo_process();  // stops the child
    echo_process(const echo_process&) = delete;
    echo_process& operator=(const echo_process&) = delete;
    bool ok() const { return pid_ > 0; }
    const sockaddr_in& address() const { return addr_; }

private:
    pid_t pid_ = -1;
    sockaddr_in addr_{};
};

struct report;

// The floor of a section, measured the same way in every one: the median of nine runs of 2000
// plain round trips of `size` bytes against an echo process; printed once, as the section's,
// and kept in `out` for its ratios.
double section_floor_us(report& out, const char* section, const echo_process& echo, std::size_t size = 24);

// Runs `rounds` plain sendto/recvfrom round trips of `size` bytes against `to`;
// returns the mean microseconds of one.
double plain_round_trip_us(const sockaddr_in& to, int rounds, std::size_t size);

// Requests per second that `clients` threads get answered, each sending `requests_each`
// copies of `request` and waiting for the answer before the next.
double throughput_rps(const sockaddr_in& to, int clients, int requests_each,
                      const std::vector<std::uint8_t>& request);

// The same, client c sending to `to[c % to.size()]`: a server of many addresses, each asked.
double throughput_rps(const std::vector<sockaddr_in>& to, int clients, int requests_each,
                      const std::vector<std::uint8_t>& request);

// Median of the values.
double median(std::vector<double> v);

}  // namespace bench
