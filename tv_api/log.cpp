// The library's diagnostics: log_error writes to the stream chosen by tv_api_open (standard
// error until then, nothing when it was given null); log_info, and so every informational
// trace of the library, is silent by design.
#include <cerrno>
#include <cstdarg>
#include <cstring>

#include "tv_api/tv_inter.h"

namespace tv {

namespace {
bool stream_chosen = false;
std::FILE* fp = nullptr;  // the protocol module's own log stream
}  // namespace

std::FILE* log_stream() { return stream_chosen ? fp : stderr; }

void set_log_stream(std::FILE* stream) {
    fp = stream;
    stream_chosen = true;
}

}  // namespace tv

extern "C" {

void log_error(const char* format, ...) {
    std::FILE* out = tv::log_stream();
    if (out == nullptr || format == nullptr) return;
    va_list args;
    va_start(args, format);
    std::vfprintf(out, format, args);
    va_end(args);
}

void log_info(const char*, ...) {}

void err(const char* text) {
    const int saved = errno;
    if (text != nullptr && *text != '\0')
        std::fprintf(stderr, "%s: %s\n", text, std::strerror(saved));
    else
        std::fprintf(stderr, "%s\n", std::strerror(saved));
    log_error("errno=%d\n", saved);
}

void showbytes(const void* bytes, int32_t count) {
    const auto* p = static_cast<const std::uint8_t*>(bytes);
    log_info("--------\n");
    for (int32_t i = 0; p != nullptr && i < count; ++i) {
        log_info("%02x", p[i]);
        if (i % 4 == 3) log_info("\n");
    }
    log_info("--------\n");
}

}  // extern "C"
