// The one writer onto the command layer's stream, so that no caller has to check `fp`.
#include "telvar/framework/output.h"

#include <cstdarg>
#include <cstdio>

#include "telvar/telvar.h"

namespace telvar {

namespace {
thread_local std::string* print_text = nullptr;
}  // namespace

void print_into(std::string* text) { print_text = text; }

void print(const char* format, ...) {
    if (fp == nullptr) return;
    va_list args;
    va_start(args, format);
    if (print_text == nullptr) {
        std::vfprintf(fp, format, args);
    } else {
        va_list again;
        va_copy(again, args);
        const int n = std::vsnprintf(nullptr, 0, format, args);
        if (n > 0) {
            const std::size_t at = print_text->size();
            print_text->resize(at + static_cast<std::size_t>(n) + 1);
            std::vsnprintf(print_text->data() + at, static_cast<std::size_t>(n) + 1, format, again);
            print_text->resize(at + static_cast<std::size_t>(n));
        }
        va_end(again);
    }
    va_end(args);
}

}  // namespace telvar
