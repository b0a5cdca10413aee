#include "udp_echo.h"

#include <arpa/inet.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <stdexcept>

namespace bench {

udp_echo::udp_echo(const std::string& ip, std::uint16_t port) {
    sock_ = ::socket(AF_INET, SOCK_DGRAM, 0);
    addr_.sin_family = AF_INET;
    addr_.sin_port = htons(port);
    addr_.sin_addr.s_addr = inet_addr(ip.c_str());
    if (sock_ < 0 || ::bind(sock_, reinterpret_cast<sockaddr*>(&addr_), sizeof addr_) != 0)
        throw std::runtime_error("udp_echo: cannot bind " + ip);
    thread_ = std::thread([this] {
        char buf[2048];
        while (!stop_.load(std::memory_order_relaxed)) {
            pollfd p{sock_, POLLIN, 0};
            if (::poll(&p, 1, 50) <= 0) continue;
            sockaddr_in from{};
            socklen_t len = sizeof from;
            const ssize_t n = ::recvfrom(sock_, buf, sizeof buf, MSG_DONTWAIT,
                                         reinterpret_cast<sockaddr*>(&from), &len);
            if (n > 0)
                ::sendto(sock_, buf, static_cast<size_t>(n), 0,
                         reinterpret_cast<sockaddr*>(&from), len);
        }
    });
}

udp_echo::~udp_echo() {
    stop_ = true;
    thread_.join();
    ::close(sock_);
}

double plain_round_trip_us(const sockaddr_in& to, int rounds, std::size_t size) {
    const int s = ::socket(AF_INET, SOCK_DGRAM, 0);
    std::vector<char> out(size, 1), in(2048);
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < rounds; ++i) {
        ::sendto(s, out.data(), out.size(), 0, reinterpret_cast<const sockaddr*>(&to), sizeof to);
        ::recvfrom(s, in.data(), in.size(), 0, nullptr, nullptr);
    }
    const std::chrono::duration<double, std::micro> took = std::chrono::steady_clock::now() - start;
    ::close(s);
    return took.count() / rounds;
}

double median(std::vector<double> v) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

}  // namespace bench
