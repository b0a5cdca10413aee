// The floor of every benchmark: a minimal UDP echo server and the plain round trip against it.
#pragma once

#include <netinet/in.h>

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

// Runs `rounds` plain sendto/recvfrom round trips of `size` bytes against `to`;
// returns the mean microseconds of one.
double plain_round_trip_us(const sockaddr_in& to, int rounds, std::size_t size);

// Requests per second that `clients` threads get answered, each sending `requests_each`
// copies of `request` and waiting for the answer before the next.
double throughput_rps(const sockaddr_in& to, int clients, int requests_each,
                      const std::vector<std::uint8_t>& request);

// Median of the values.
double median(std::vector<double> v);

}  // namespace bench
