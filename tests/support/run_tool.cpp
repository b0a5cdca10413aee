#include "run_tool.h"

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <memory>
#include <sstream>

extern char** environ;

namespace tvtest {

child_tool::child_tool(const std::string& program, const std::vector<std::string>& args,
                       const std::vector<std::string>& env, bool close_stdin, int stdin_fd) {
    int out[2], err[2];
    if (::pipe2(out, O_CLOEXEC) != 0) return;
    if (::pipe2(err, O_CLOEXEC) != 0) {
        ::close(out[0]);
        ::close(out[1]);
        return;
    }
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_adddup2(&fa, out[1], 1);
    posix_spawn_file_actions_adddup2(&fa, err[1], 2);
    if (stdin_fd >= 0)
        posix_spawn_file_actions_adddup2(&fa, stdin_fd, 0);
    else if (close_stdin)
        posix_spawn_file_actions_addclose(&fa, 0);
    else
        posix_spawn_file_actions_addopen(&fa, 0, "/dev/null", O_RDONLY, 0);

    std::vector<std::string> argv_s{program};
    argv_s.insert(argv_s.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& a : argv_s) argv.push_back(a.data());
    argv.push_back(nullptr);
    // The entries given come first, as the first of two entries of a name is the one read; then
    // no credentials file, so that one of the user running the tests cannot change what a tool
    // test sees; then the inherited environment.
    std::vector<std::string> env_s(env.begin(), env.end());
    env_s.emplace_back("TELVAR_CREDENTIALS=");
    for (char** e = environ; *e != nullptr; ++e) env_s.emplace_back(*e);
    std::vector<char*> envp;
    for (auto& e : env_s) envp.push_back(e.data());
    envp.push_back(nullptr);

    const int rc = posix_spawn(&pid_, program.c_str(), &fa, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&fa);
    ::close(out[1]);
    ::close(err[1]);
    if (rc != 0) {
        pid_ = -1;
        ::close(out[0]);
        ::close(err[0]);
        return;
    }
    out_ = out[0];
    err_ = err[0];
}

child_tool::~child_tool() {
    if (pid_ > 0) {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
    }
    if (out_ >= 0) ::close(out_);
    if (err_ >= 0) ::close(err_);
}

std::string child_tool::read_line(int limit_s) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(limit_s);
    while (out_ >= 0) {
        if (const std::size_t end = out_read_.find('\n', line_at_); end != std::string::npos) {
            std::string line = out_read_.substr(line_at_, end - line_at_);
            line_at_ = end + 1;
            return line;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        pollfd p{out_, POLLIN, 0};
        if (left.count() <= 0 || ::poll(&p, 1, static_cast<int>(left.count())) <= 0) return {};
        char buf[4096];
        const ssize_t n = ::read(out_, buf, sizeof buf);
        if (n <= 0) return {};
        out_read_.append(buf, static_cast<std::size_t>(n));
    }
    return {};
}

tool_result child_tool::finish(int limit_s) {
    tool_result r;
    r.out = std::move(out_read_);
    if (pid_ <= 0) return r;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(limit_s);
    pollfd fds[2] = {{out_, POLLIN, 0}, {err_, POLLIN, 0}};
    std::string* sinks[2] = {&r.out, &r.err};
    int open_pipes = 2;
    while (open_pipes > 0) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            ::kill(pid_, SIGKILL);
            break;
        }
        if (::poll(fds, 2, static_cast<int>(left.count())) < 0 && errno != EINTR) break;
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP))) continue;
            char buf[4096];
            const ssize_t n = ::read(fds[i].fd, buf, sizeof buf);
            if (n > 0) {
                sinks[i]->append(buf, static_cast<std::size_t>(n));
            } else {
                ::close(fds[i].fd);
                fds[i].fd = -1;
                --open_pipes;
            }
        }
    }
    for (auto& f : fds)
        if (f.fd >= 0) ::close(f.fd);
    out_ = err_ = -1;
    int wstatus = 0;
    rusage usage{};
    ::wait4(pid_, &wstatus, 0, &usage);
    pid_ = -1;
    r.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : -1;
    r.peak_rss_kb = usage.ru_maxrss;
    return r;
}

tool_result run_tool(const std::string& program, const std::vector<std::string>& args,
                     const std::vector<std::string>& env, int limit_s) {
    return child_tool(program, args, env).finish(limit_s);
}

std::vector<tool_result> run_side_by_side(const std::string& program,
                                          const std::vector<std::vector<std::string>>& runs,
                                          int limit_s, std::size_t side_by_side) {
    std::vector<tool_result> results;
    for (std::size_t first = 0; first < runs.size(); first += side_by_side) {
        std::vector<std::unique_ptr<child_tool>> running;
        for (std::size_t i = first; i < std::min(first + side_by_side, runs.size()); ++i)
            running.push_back(std::make_unique<child_tool>(program, runs[i]));
        for (auto& child : running) results.push_back(child->finish(limit_s));
    }
    return results;
}

std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) out.push_back(line);
    return out;
}

}  // namespace tvtest
