// The embedded HTTP server of our programs (the exporter; the watcher's console later): a thin
// owner of a libmicrohttpd daemon, chosen because it is built for slow and hostile clients.
//
// One thread reads and writes every connection through epoll, so a client that sends half a
// request costs a socket and a few kilobytes, never a thread. Connections are limited overall
// and per client address, each closes after `idle_timeout` without a byte either way, and a
// request's headers must fit in `header_memory`. A whole request is handed to its route's
// handler on one of `handler_threads` threads while its connection waits, suspended, off the
// event loop; the handler's answer is then sent from the event loop.
//
// TLS (through GnuTLS) from a PEM certificate (chain) and key file. Port 0 lets the system
// choose the port; port() says which it chose.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "http_server/message.h"

namespace http {

struct limits {
    unsigned connections = 64;   // at once, over all clients
    unsigned per_address = 16;   // at once, from one client address
    std::chrono::seconds idle_timeout{10};
    std::size_t header_memory = 32 * 1024;  // a request's line and headers
    std::size_t max_body = 1024 * 1024;     // larger bodies: 413, or the connection is closed
    unsigned handler_threads = 8;
};

struct tls_files {
    std::string certificate;  // PEM: the certificate, then any chain
    std::string key;          // PEM: its private key, not encrypted
};

struct config {
    std::string address;  // dotted IPv4
    std::uint16_t port = 0;
    limits limit{};
    std::optional<tls_files> tls{};
    std::vector<route> routes{};
    // Added to every answer, the server's own refusals (404, 405, 413) included, unless the
    // answer has a header of that name itself: a program's security headers, say.
    std::vector<std::pair<std::string, std::string>> common_headers{};
};

struct start_error {
    enum kind_t { listen, tls } kind;
    std::string text;  // why, for a person: "Address already in use"
};

class server {
public:
    // Serves `c` until destroyed; nullptr, with `error` set, when it cannot.
    static std::unique_ptr<server> start(config c, start_error& error);
    // Takes no more connections, lets the handlers running end and their answers go, closes
    // every connection.
    ~server();
    server(const server&) = delete;
    server& operator=(const server&) = delete;

    std::uint16_t port() const;

    struct state;  // the daemon and what its callbacks share

private:
    explicit server(std::unique_ptr<state> s);
    std::unique_ptr<state> state_;
};

}  // namespace http
