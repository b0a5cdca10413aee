// Who is logged in to the console, and who may try again: the sessions a login opens (random
// ids, each with its CSRF token and its end), and the count of failed logins per client
// address. Both are shared by the server's handler threads, under their own locks.
#pragma once

#include <chrono>
#include <cstddef>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "telvard/console/tokens.h"

namespace telvard::console {

using clock = std::chrono::steady_clock;

// Whether two secrets are equal, in a time that depends on their lengths only, never on where
// they first differ.
bool same_secret(std::string_view a, std::string_view b);

// `bytes` random bytes from the kernel (getrandom) as hex; throws std::runtime_error when the
// kernel gives none.
std::string random_hex(std::size_t bytes);

class sessions {
public:
    struct session {
        role grants = role::read;
        std::string csrf;
        clock::time_point ends;
    };

    explicit sessions(std::chrono::seconds life, std::size_t most = 10000) : life_(life), most_(most) {}

    // A new session: its id (the cookie's value) and the session.
    std::pair<std::string, session> open(role grants, clock::time_point now = clock::now());
    // The session of an id while it lasts.
    std::optional<session> find(std::string_view id, clock::time_point now = clock::now());
    void close(std::string_view id);

    std::chrono::seconds life() const { return life_; }

private:
    void forget_ended(clock::time_point now);

    std::chrono::seconds life_;
    std::size_t most_;
    std::mutex mutex_;
    std::map<std::string, session, std::less<>> open_;
};

// Failed logins per client address: after `most` within `window`, the address waits until the
// oldest of them is out of the window.
class login_limit {
public:
    explicit login_limit(unsigned most = 5, std::chrono::seconds window = std::chrono::seconds(60))
        : most_(most), window_(window) {}

    // Seconds the address must still wait (0: it may try now).
    long wait_s(const std::string& address, clock::time_point now = clock::now());
    void failed(const std::string& address, clock::time_point now = clock::now());

private:
    unsigned most_;
    std::chrono::seconds window_;
    std::mutex mutex_;
    std::map<std::string, std::vector<clock::time_point>> failures_;
};

}  // namespace telvard::console
