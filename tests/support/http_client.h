// HTTP clients for the tests of our HTTP server and of the exporter: a raw TCP connection that
// sends what a test tells it (half a request, and holds on), one whole plain request, and a
// request over TLS through Python's standard library; and a self-signed certificate made with
// openssl at test time.
#pragma once

#include <filesystem>
#include <string>

namespace tvtest {

// A TCP connection from `local` (an address of the test, port of the system's choice) to
// address:port; closed when destroyed.
class tcp_connection {
public:
    tcp_connection(const std::string& local, const std::string& address, int port);
    ~tcp_connection();
    tcp_connection(const tcp_connection&) = delete;
    tcp_connection& operator=(const tcp_connection&) = delete;

    bool connected() const { return connected_; }
    bool send(const std::string& text);
    // Whether the server has sent anything or closed the connection within `wait_ms`.
    bool heard_from_server(int wait_ms = 0);
    // Everything the server sends until it closes the connection (at most `limit_ms`).
    std::string read_to_end(int limit_ms = 30000);

private:
    int fd_ = -1;
    bool connected_ = false;
};

struct http_reply {
    int status = 0;  // 0: no whole answer
    std::string head;  // status line and headers
    std::string body;
};

// Sends `request` (a whole HTTP/1.1 request; "Connection: close" is the caller's) and reads
// the answer to the end.
http_reply http_exchange(const std::string& local, const std::string& address, int port, const std::string& request);
http_reply http_get(const std::string& local, const std::string& address, int port, const std::string& path);

// The body of GET `url` (https://...), trusting only the certificate in `ca_file`; the error
// Python gives when it fails, after "error: ".
std::string https_get(const std::string& url, const std::filesystem::path& ca_file);

// A key and a self-signed certificate for `ip` in `dir` (cert.pem, key.pem); false when
// openssl is missing or fails.
bool make_certificate(const std::filesystem::path& dir, const std::string& ip);

}  // namespace tvtest
