// The one writer onto the command layer's stream, so that no caller has to check `fp`.
#include "telvar/framework/output.h"

#include <cstdarg>
#include <cstdio>

#include "telvar/telvar.h"

namespace telvar {

void print(const char* format, ...) {
    if (fp == nullptr) return;
    va_list args;
    va_start(args, format);
    std::vfprintf(fp, format, args);
    va_end(args);
}

}  // namespace telvar
