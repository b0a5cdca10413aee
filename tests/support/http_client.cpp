#include "support/http_client.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>

#include "support/run_tool.h"

namespace tvtest {

namespace {

sockaddr_in ipv4(const std::string& address, int port) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<std::uint16_t>(port));
    inet_pton(AF_INET, address.c_str(), &a.sin_addr);
    return a;
}

}  // namespace

tcp_connection::tcp_connection(const std::string& local, const std::string& address, int port) {
    fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd_ < 0) return;
    const sockaddr_in from = ipv4(local, 0), to = ipv4(address, port);
    connected_ = ::bind(fd_, reinterpret_cast<const sockaddr*>(&from), sizeof from) == 0 &&
                 ::connect(fd_, reinterpret_cast<const sockaddr*>(&to), sizeof to) == 0;
}

tcp_connection::~tcp_connection() {
    if (fd_ >= 0) ::close(fd_);
}

bool tcp_connection::send(const std::string& text) {
    return ::send(fd_, text.data(), text.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(text.size());
}

bool tcp_connection::heard_from_server(int wait_ms) {
    pollfd p{fd_, POLLIN, 0};
    return ::poll(&p, 1, wait_ms) > 0;
}

std::string tcp_connection::read_to_end(int limit_ms) {
    std::string out;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(limit_ms);
    for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
        pollfd p{fd_, POLLIN, 0};
        if (left <= 0 || ::poll(&p, 1, static_cast<int>(left)) <= 0) return out;
        char buf[16384];
        const ssize_t n = ::recv(fd_, buf, sizeof buf, 0);
        if (n <= 0) return out;
        out.append(buf, static_cast<std::size_t>(n));
    }
}

http_reply http_exchange(const std::string& local, const std::string& address, int port, const std::string& request) {
    tcp_connection c(local, address, port);
    http_reply r;
    if (!c.connected() || !c.send(request)) return r;
    const std::string answer = c.read_to_end();
    const std::size_t end = answer.find("\r\n\r\n");
    if (end == std::string::npos || std::sscanf(answer.c_str(), "HTTP/1.%*d %d", &r.status) != 1) return {};
    r.head = answer.substr(0, end);
    r.body = answer.substr(end + 4);
    return r;
}

http_reply http_get(const std::string& local, const std::string& address, int port, const std::string& path) {
    return http_exchange(local, address, port,
                         "GET " + path + " HTTP/1.1\r\nHost: " + address + "\r\nConnection: close\r\n\r\n");
}

std::string https_get(const std::string& url, const std::filesystem::path& ca_file) {
    return run_tool("/usr/bin/python3", {"-c", "import ssl, sys, urllib.request\n"
        "try:\n"
        "    c = ssl.create_default_context(cafile=sys.argv[2])\n"
        "    sys.stdout.write(urllib.request.urlopen(sys.argv[1], timeout=60, context=c).read().decode())\n"
        "except Exception as e:\n"
        "    sys.stdout.write('error: ' + str(e))", url, ca_file.string()}).out;
}

bool make_certificate(const std::filesystem::path& dir, const std::string& ip) {
    return run_tool("/bin/sh", {"-c", "command -v openssl >/dev/null && openssl req -x509 -newkey ec "
        "-pkeyopt ec_paramgen_curve:P-256 -nodes -days 2 -subj /CN=telvar-test -addext subjectAltName=IP:" + ip +
        " -keyout " + (dir / "key.pem").string() + " -out " + (dir / "cert.pem").string() + " 2>/dev/null"}).status == 0;
}

}  // namespace tvtest
