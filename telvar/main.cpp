// The telvar tool: `telvar <command> [flags] <ip-address> ...`. The dispatcher looks the
// command word up in its table (command_table.cpp), runs the command and exits with the status
// it returns.
//
// Reports go to standard output (the library's default stream is standard error), so that
// they can be piped.
#include <cerrno>
#include <cstdio>
#include <string_view>

#include "command_table.h"
#include "output.h"
#include "telvar.h"

namespace {

// `telvar help WORD`: the command's lines of the usage text.
int help_for(std::string_view word) {
    const telvar::command* c = telvar::find_command(word);
    if (c == nullptr) {
        std::fprintf(stderr, "telvar: unknown command '%.*s'\n", static_cast<int>(word.size()),
                     word.data());
        return 1;
    }
    for (int i = 0; i < c->usage_count; ++i) telvar::print("%s", Usage[c->usage_first + i]);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    fp = stdout;
    tv_api_open(stderr);
    if (argc < 2) usage();
    const std::string_view word = argv[1];
    if (word == "help" || word == "-h" || word == "--help") {
        if (argc > 2) return help_for(argv[2]);
        telvar::print_usage();
        return 0;
    }
    if (const telvar::command* c = telvar::find_command(word)) {
        errno = 0;  // what print_error shows must come from the command, not from start-up
        const int32_t status = c->fn(argc - 1, argv + 1);
        std::fflush(fp);
        return status;
    }
    std::fprintf(stderr, "telvar: unknown command '%s'\n", argv[1]);
    usage();
}
