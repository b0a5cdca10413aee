#include "udp_echo.h"

#include <arpa/inet.h>
#include <sys/time.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <thread>
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
    // Blocking reads with a short receive timeout, so that stopping needs no extra wake-up:
    // the least a server can do per datagram is one read and one write.
    timeval tv{0, 50000};
    ::setsockopt(sock_, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    thread_ = std::thread([this] {
        char buf[2048];
        while (!stop_.load(std::memory_order_relaxed)) {
            sockaddr_in from{};
            socklen_t len = sizeof from;
            const ssize_t n = ::recvfrom(sock_, buf, sizeof buf, 0,
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

double throughput_rps(const sockaddr_in& to, int clients, int requests_each,
                      const std::vector<std::uint8_t>& request) {
    std::vector<std::thread> threads;
    std::atomic<int> ready{0};
    std::atomic<bool> go{false};
    std::atomic<long> done{0};
    for (int c = 0; c < clients; ++c) {
        threads.emplace_back([&] {
            const int s = ::socket(AF_INET, SOCK_DGRAM, 0);
            timeval tv{1, 0};  // a lost datagram costs a second, not the run
            ::setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
            std::vector<char> in(2048);
            ++ready;
            while (!go.load()) std::this_thread::yield();
            for (int i = 0; i < requests_each; ++i) {
                ::sendto(s, request.data(), request.size(), 0,
                         reinterpret_cast<const sockaddr*>(&to), sizeof to);
                if (::recvfrom(s, in.data(), in.size(), 0, nullptr, nullptr) > 0) ++done;
            }
            ::close(s);
        });
    }
    while (ready.load() < clients) std::this_thread::yield();
    const auto start = std::chrono::steady_clock::now();
    go = true;
    for (auto& t : threads) t.join();
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    return static_cast<double>(done.load()) / took.count();
}

double median(std::vector<double> v) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

}  // namespace bench
