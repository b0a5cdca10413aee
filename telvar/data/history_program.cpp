// history, events and snapshot --at as the telvar program runs them: in the program of the
// history commands (telvar-history, beside telvar in the build tree, under libexec/telvar once
// installed), started in this process's place with the same command line. The database
// libraries (SQLite, and libpq with its TLS, Kerberos and LDAP libraries) would take some
// 6 MB of memory from every command of the tool if telvar loaded them; this way only the
// commands that read the history pay for them. The real commands are history_cmds.cpp, which
// that program links in place of this file.
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "telvar/data/data_cmds.h"

namespace telvar::data {

namespace {

// The path of this program, or empty.
std::string own_path() {
    std::string path(4096, '\0');
    const ssize_t n = readlink("/proc/self/exe", path.data(), path.size() - 1);
    path.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
    return path;
}

int32_t run_history_program(const char* command) {
    const std::string self = own_path();
    // Only the telvar program hands them on: a program that runs the dispatcher in-process
    // (the fuzz harness of command lines) is not to be replaced, and the program of the history
    // commands, built wrongly with this file, not to start itself again and again.
    if (!self.ends_with("/telvar")) {
        complain(command, "the history commands run from the telvar program only");
        return exit_status::failure;
    }
    const std::string folder = self.substr(0, self.rfind('/'));
    std::string program = folder + "/telvar-history";
    if (access(program.c_str(), X_OK) != 0) program = folder + "/" TELVAR_HISTORY_PROGRAM;
    std::vector<char*> line = command_line();
    if (line.empty()) return exit_status::failure;
    line[0] = program.data();
    line.push_back(nullptr);
    std::fflush(nullptr);
    execv(program.c_str(), line.data());
    complain(command, "cannot run " + program + ", which reads the history: " + std::strerror(errno));
    return exit_status::failure;
}

}  // namespace

int32_t history(int32_t, char**) { return run_history_program("history"); }
int32_t events(int32_t, char**) { return run_history_program("events"); }
int32_t snapshot_at(const char*, const char*, int32_t, char**) { return run_history_program("snapshot"); }

}  // namespace telvar::data
