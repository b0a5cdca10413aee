// The level of the tool's own notices on standard error (see notices.h).
#include "telvar/framework/notices.h"

#include <unistd.h>

#include <cstdarg>
#include <cstdio>

namespace telvar {

namespace {

notice_level level = notice_level::quiet;

void say(const char* format, va_list args) {
    std::fputs("telvar: ", stderr);
    std::vfprintf(stderr, format, args);
    std::fputc('\n', stderr);
}

}  // namespace

void set_notice_level(notice_level l) { level = l; }
notice_level current_notice_level() { return level; }

void hint(const char* format, ...) {
    if (level == notice_level::quiet) return;
    va_list args;
    va_start(args, format);
    say(format, args);
    va_end(args);
}

void note(const char* format, ...) {
    if (level != notice_level::verbose) return;
    va_list args;
    va_start(args, format);
    say(format, args);
    va_end(args);
}

bool progress_wanted() { return level != notice_level::quiet && isatty(STDERR_FILENO) == 1; }

}  // namespace telvar
