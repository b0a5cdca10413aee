// Runs a program of the project as a child process and collects its exit status and output.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace tvtest {

struct tool_result {
    int status = -1;   // exit status, or -1 when it did not exit normally
    std::string out;   // standard output
    std::string err;   // standard error
    long peak_rss_kb = 0;  // the most memory it held, in KiB
};

// A program started as a child process, with standard input from /dev/null (or closed, or the
// descriptor `stdin_fd` when it is not -1), while the test goes on; finish() collects what it
// printed.
class child_tool {
public:
    // Extra environment entries ("NAME=value") are added to the inherited environment.
    child_tool(const std::string& program, const std::vector<std::string>& args,
               const std::vector<std::string>& env = {}, bool close_stdin = false, int stdin_fd = -1);
    ~child_tool();  // kills a child that finish() has not collected
    child_tool(const child_tool&) = delete;
    child_tool& operator=(const child_tool&) = delete;

    pid_t pid() const { return pid_; }
    // Reads its standard output up to the end of a line and returns the line (what was read stays
    // part of finish()'s output too); empty when the output ends or `limit_s` seconds pass first.
    std::string read_line(int limit_s = 30);
    // Reads its output until it exits; the child is killed after `limit_s` seconds.
    tool_result finish(int limit_s = 60);

private:
    pid_t pid_ = -1;
    int out_ = -1, err_ = -1;
    std::string out_read_;      // standard output that read_line took
    std::size_t line_at_ = 0;   // where the next line of it begins
};

// Runs `program` with `args` to its end; the child is killed after `limit_s` seconds.
tool_result run_tool(const std::string& program, const std::vector<std::string>& args,
                     const std::vector<std::string>& env = {}, int limit_s = 60);

// Runs `program` once for each argument vector of `runs`, `side_by_side` children at a time (for
// runs that wait on a switch rather than on the processor); the results in the order of `runs`.
std::vector<tool_result> run_side_by_side(const std::string& program,
                                          const std::vector<std::vector<std::string>>& runs,
                                          int limit_s = 60, std::size_t side_by_side = 8);

// The lines of what a program printed, without their line ends.
std::vector<std::string> lines_of(const std::string& text);

}  // namespace tvtest
