#include "udp_echo.h"

#include "bench_main.h"

#include <arpa/inet.h>
#include <sys/time.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>

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

echo_process::echo_process(const std::string& ip, std::uint16_t port) {
    addr_.sin_family = AF_INET;
    addr_.sin_port = htons(port);
    addr_.sin_addr.s_addr = inet_addr(ip.c_str());
    const int sock = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (sock < 0 || ::bind(sock, reinterpret_cast<sockaddr*>(&addr_), sizeof addr_) != 0) {
        if (sock >= 0) ::close(sock);
        throw std::runtime_error("echo_process: cannot bind " + ip);
    }
    // Bound before the fork, so that the first round trip finds it listening. The child makes
    // only system calls: it may be forked from a process with threads.
    pid_ = ::fork();
    if (pid_ == 0) {
        char buf[2048];
        for (;;) {
            sockaddr_in from{};
            socklen_t len = sizeof from;
            const ssize_t n = ::recvfrom(sock, buf, sizeof buf, 0, reinterpret_cast<sockaddr*>(&from), &len);
            if (n > 0) ::sendto(sock, buf, static_cast<size_t>(n), 0, reinterpret_cast<sockaddr*>(&from), len);
        }
    }
    ::close(sock);
    if (pid_ < 0) throw std::runtime_error("echo_process: cannot fork");
}

echo_process::~echo_process() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGTERM);
    ::waitpid(pid_, nullptr, 0);
}

double section_floor_us(report& out, const char* section, const echo_process& echo, std::size_t size) {
    constexpr int rounds = 2000;
    plain_round_trip_us(echo.address(), rounds / 4, size);  // warm up
    std::vector<double> runs;
    for (int r = 0; r < 9; ++r) runs.push_back(plain_round_trip_us(echo.address(), rounds, size));
    out.floor_us = median(runs);
    char what[96];
    std::snprintf(what, sizeof what, "floor (%s): round trip to another process", section);
    out.line(what, out.floor_us, "us");
    return out.floor_us;
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
    return throughput_rps(std::vector<sockaddr_in>{to}, clients, requests_each, request);
}

double throughput_rps(const std::vector<sockaddr_in>& targets, int clients, int requests_each,
                      const std::vector<std::uint8_t>& request) {
    std::vector<std::thread> threads;
    std::atomic<int> ready{0};
    std::atomic<bool> go{false};
    std::atomic<long> done{0};
    for (int c = 0; c < clients; ++c) {
        threads.emplace_back([&, c] {
            const sockaddr_in& to = targets[static_cast<std::size_t>(c) % targets.size()];
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
