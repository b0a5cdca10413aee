#include "http_get.h"

#include <arpa/inet.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>

namespace bench {

http_response http_get(const std::string& address, int port, const std::string& path, int limit_ms,
                       const std::string& headers) {
    http_response r;
    const int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (s < 0) return r;
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(static_cast<std::uint16_t>(port));
    std::string answer;
    bool whole = false;
    if (inet_pton(AF_INET, address.c_str(), &to.sin_addr) == 1 &&
        ::connect(s, reinterpret_cast<const sockaddr*>(&to), sizeof to) == 0) {
        const std::string request = "GET " + path + " HTTP/1.0\r\nHost: " + address + "\r\n" + headers + "\r\n";
        if (::send(s, request.data(), request.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(request.size())) {
            const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(limit_ms);
            for (;;) {
                const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                    deadline - std::chrono::steady_clock::now());
                pollfd p{s, POLLIN, 0};
                if (left.count() <= 0 || ::poll(&p, 1, static_cast<int>(left.count())) <= 0) break;
                char buf[8192];
                const ssize_t n = ::recv(s, buf, sizeof buf, 0);
                if (n <= 0) {
                    whole = n == 0;
                    break;
                }
                answer.append(buf, static_cast<std::size_t>(n));
            }
        }
    }
    ::close(s);
    const std::size_t body = answer.find("\r\n\r\n");
    if (!whole || body == std::string::npos || std::sscanf(answer.c_str(), "HTTP/%*d.%*d %d", &r.status) != 1)
        return {};
    r.body = answer.substr(body + 4);
    return r;
}

half_request::half_request(const char* address, int port, const std::string& half)
    : fd_(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(static_cast<std::uint16_t>(port));
    inet_pton(AF_INET, address, &to.sin_addr);
    if (fd_ >= 0 && ::connect(fd_, reinterpret_cast<const sockaddr*>(&to), sizeof to) == 0)
        ::send(fd_, half.data(), half.size(), MSG_NOSIGNAL);
}

half_request::~half_request() {
    if (fd_ >= 0) ::close(fd_);
}

}  // namespace bench
