// Text-to-number conversion with the C library's atoi reading rules but no overflow.
#include <cctype>
#include <climits>

#include "tv_api/tv_inter.h"

namespace tv {

int32_t to_int(const char* text) {
    if (text == nullptr) return 0;
    const char* p = text;
    while (std::isspace(static_cast<unsigned char>(*p))) ++p;
    bool negative = false;
    if (*p == '+' || *p == '-') negative = *p++ == '-';
    long long v = 0;
    for (; std::isdigit(static_cast<unsigned char>(*p)); ++p) {
        v = v * 10 + (*p - '0');
        if (v > INT32_MAX) v = static_cast<long long>(INT32_MAX) + 1;  // saturate, keep going
    }
    if (negative) v = -v;
    if (v > INT32_MAX) return INT32_MAX;
    if (v < INT32_MIN) return INT32_MIN;
    return static_cast<int32_t>(v);
}

}  // namespace tv
