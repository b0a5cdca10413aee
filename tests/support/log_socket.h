// A unix datagram socket that a test binds at a path, standing for the system log daemon: each
// line sent there is one datagram. The path is removed at the end.
#pragma once

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "proto/unique_fd.h"

namespace tvtest {

class log_socket {
public:
    explicit log_socket(std::filesystem::path path) : path_(std::move(path)) {
        sockaddr_un a{};
        a.sun_family = AF_UNIX;
        std::snprintf(a.sun_path, sizeof a.sun_path, "%s", path_.c_str());
        std::filesystem::remove(path_);
        bound_ = ::bind(fd_.get(), reinterpret_cast<const sockaddr*>(&a), sizeof a) == 0;
    }
    ~log_socket() {
        std::error_code ignored;
        std::filesystem::remove(path_, ignored);
    }
    log_socket(const log_socket&) = delete;
    log_socket& operator=(const log_socket&) = delete;

    bool bound() const { return bound_; }
    std::string path() const { return path_.string(); }
    // The next line, or "" when none comes within `wait_ms` (a loaded machine: 10 s).
    std::string next(int wait_ms = 10000) {
        pollfd p{fd_.get(), POLLIN, 0};
        if (::poll(&p, 1, wait_ms) != 1) return "";
        char buf[2048];
        const ssize_t n = ::recv(fd_.get(), buf, sizeof buf, 0);
        return n > 0 ? std::string(buf, static_cast<std::size_t>(n)) : "";
    }

private:
    std::filesystem::path path_;
    tv::unique_fd fd_{::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0)};
    bool bound_ = false;
};

}  // namespace tvtest
