// The telvar tool: `telvar <command> [flags] <ip-address> ...`. The dispatcher maps the
// command word to its function, runs it and exits with the status it returns.
//
// Reports go to standard output (the library's default stream is standard error), so that
// they can be piped; adding a command is one line of the table.
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string_view>

#include "output.h"
#include "telvar.h"
#include "tool_commands.h"

namespace {

using command_fn = int32_t (*)(int32_t, char**);

struct command {
    std::string_view word;
    command_fn fn;
};

constexpr std::array commands{
    command{"discover", telvar::tool::discover},
    command{"version", telvar::tool::version},
    command{"chassis_status", telvar::tool::chassis_status},
    command{"port_state", telvar::tool::port_state},
    command{"port_type", telvar::tool::port_type},
    command{"switch_reset", switch_reset},
};

}  // namespace

int main(int argc, char** argv) {
    fp = stdout;
    tv_api_open(stderr);
    if (argc < 2) usage();
    const std::string_view word = argv[1];
    if (word == "help" || word == "-h" || word == "--help") {
        telvar::print_usage();
        return 0;
    }
    for (const auto& c : commands) {
        if (c.word != word) continue;
        errno = 0;  // what print_error shows must come from the command, not from start-up
        const int32_t status = c.fn(argc - 1, argv + 1);
        std::fflush(fp);
        return status;
    }
    std::fprintf(stderr, "telvar: unknown command '%s'\n", argv[1]);
    usage();
}
