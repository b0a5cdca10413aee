// WWNs typed on the command line: exactly 16 hexadecimal digits, most significant byte first.
#include <algorithm>
#include <cstdint>
#include <cstring>

#include "telvar/framework/end_process.h"
#include "telvar/framework/output.h"
#include "telvar/telvar.h"

namespace {

constexpr std::size_t wwn_bytes = 8;

int hex_digit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Two characters read as a hex number: reading stops at the first non-digit, so "3z" is 3
// and "z3" is 0.
uint8_t hex_pair(const char* two) {
    const int high = hex_digit(two[0]);
    if (high < 0) return 0;
    const int low = hex_digit(two[1]);
    return static_cast<uint8_t>(low < 0 ? high : high * 16 + low);
}

}  // namespace

extern "C" int32_t ascii_to_wwn(uint8_t* wwn, const char* text) {
    const char* shown = text != nullptr ? text : "";
    const std::size_t length = std::strlen(shown);
    if (length != 2 * wwn_bytes) {
        // Unlike a usage error, this one ends the process with status 0.
        telvar::print("Invalid WWN string length: %d, for %s\n",
                      static_cast<int>(std::min<std::size_t>(length, INT32_MAX)), shown);
        telvar::end_process(0);
    }
    for (std::size_t i = 0; wwn != nullptr && i < wwn_bytes; ++i) wwn[i] = hex_pair(shown + 2 * i);
    return static_cast<int32_t>(wwn_bytes);
}
