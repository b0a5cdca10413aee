// The telvar tool on a pseudo-terminal, for the tests of what it asks and how it stops there:
// what it prints, what is typed, the terminal's mode and how it ends.
#pragma once

#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <string>
#include <vector>

namespace tvtest {

class on_terminal {
public:
    explicit on_terminal(const std::vector<std::string>& a) {
        pid_ = ::forkpty(&fd_, nullptr, nullptr, nullptr);
        if (pid_ != 0) return;
        std::vector<char*> argv{const_cast<char*>(TELVAR_BIN)};
        for (const auto& s : a) argv.push_back(const_cast<char*>(s.c_str()));
        argv.push_back(nullptr);
        ::execv(TELVAR_BIN, argv.data());
        ::_exit(127);
    }
    ~on_terminal() {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
        if (fd_ >= 0) ::close(fd_);
    }
    on_terminal(const on_terminal&) = delete;
    on_terminal& operator=(const on_terminal&) = delete;

    // Reads what the tool prints until `text` has appeared (true), the tool ends or 10 s pass.
    bool wait_for(const std::string& text) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (out.find(text) == std::string::npos && std::chrono::steady_clock::now() < deadline) {
            pollfd p{fd_, POLLIN, 0};
            if (::poll(&p, 1, 100) <= 0) continue;
            char buf[512];
            const ssize_t n = ::read(fd_, buf, sizeof buf);
            if (n <= 0) break;  // the tool ended: the terminal hangs up
            out.append(buf, static_cast<std::size_t>(n));
        }
        return out.find(text) != std::string::npos;
    }
    void type(const std::string& keys) { ASSERT_EQ(static_cast<ssize_t>(keys.size()), ::write(fd_, keys.data(), keys.size())); }
    bool echo() const { return mode_has(ECHO); }
    bool canonical() const { return mode_has(ICANON); }
    // Reads to the end; the wait status.
    int finish() {
        wait_for("\x01 printed by nothing");
        int status = 0;
        ::waitpid(pid_, &status, 0);
        pid_ = -1;
        return status;
    }

    std::string out;

private:
    bool mode_has(tcflag_t flag) const {
        termios mode{};
        return ::tcgetattr(fd_, &mode) == 0 && (mode.c_lflag & flag) != 0;
    }
    pid_t pid_ = -1;
    int fd_ = -1;
};

inline bool exited_with(int status, int code) { return WIFEXITED(status) && WEXITSTATUS(status) == code; }

}  // namespace tvtest
