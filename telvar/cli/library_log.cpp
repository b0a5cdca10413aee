// The tool's stream for the library's diagnostics (library_log.h): a cookie stream over
// standard error. It is unbuffered, so each log call reaches the filter as one write.
#include "telvar/cli/library_log.h"

#include <sys/types.h>

#include <string_view>

#include "telvar/framework/notices.h"

namespace telvar::tool {

namespace {

constexpr std::string_view wait_timed_out = "Time out in select\n";
bool line_open = false;  // the last text written did not end with a newline

ssize_t write_filtered(void*, const char* data, std::size_t size) {
    const std::string_view text{data, size};
    if (text == wait_timed_out && current_notice_level() != notice_level::verbose) return static_cast<ssize_t>(size);
    const std::size_t written = std::fwrite(data, 1, size, stderr);
    if (size != 0) line_open = text.back() != '\n';
    return written == 0 && size != 0 ? -1 : static_cast<ssize_t>(written);
}

}  // namespace

std::FILE* library_log() {
    static std::FILE* const stream = [] {
        std::FILE* s = fopencookie(nullptr, "w", cookie_io_functions_t{nullptr, write_filtered, nullptr, nullptr});
        if (s == nullptr) return stderr;  // unfiltered rather than silent
        std::setvbuf(s, nullptr, _IONBF, 0);
        return s;
    }();
    return stream;
}

void end_library_line() {
    if (!line_open) return;
    std::fputc('\n', stderr);
    line_open = false;
}

}  // namespace telvar::tool
