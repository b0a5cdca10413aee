// Runs a program of the project as a child process and collects its exit status and output.
#pragma once

#include <string>
#include <vector>

namespace tvtest {

struct tool_result {
    int status = -1;   // exit status, or -1 when it did not exit normally
    std::string out;   // standard output
    std::string err;   // standard error
};

// Runs `program` with `args`; the child is killed after `limit_s` seconds. Extra environment
// entries ("NAME=value") are added to the inherited environment.
tool_result run_tool(const std::string& program, const std::vector<std::string>& args,
                     const std::vector<std::string>& env = {}, int limit_s = 60);

}  // namespace tvtest
