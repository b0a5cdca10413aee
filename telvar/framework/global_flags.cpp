// The global flags that every command accepts among its options: -port, -f, -u, -p and -h.
// Their values stay in the command layer's globals for the rest of the process; the text
// values point into the caller's argument vector.
#include <cerrno>
#include <cstdlib>
#include <string_view>

#include "telvar/framework/option_loop.h"
#include "telvar/framework/output.h"
#include "telvar/telvar.h"

namespace {

// -f takes a hexadecimal FC address, with or without 0x; conversion stops at the first
// character that is not a hex digit. errno is kept: an out-of-range value is not a system
// error that print_error should report later.
uint32_t parse_fc_address(const char* text) {
    if (text == nullptr) return 0;
    const int saved = errno;
    const long value = std::strtol(text, nullptr, 16);
    errno = saved;
    return static_cast<uint32_t>(value);
}

}  // namespace

extern "C" int32_t check_global_switches(int32_t* argc, char*** argv) {
    const std::string_view flag = (*argv)[0] != nullptr ? (*argv)[0] : "";
    if (flag.size() < 2) return 0;
    switch (flag[1]) {
        case 'f':
            g_remotefcaddr = parse_fc_address(telvar::take_value(*argc, *argv));
            if (g_remotefcaddr == 0) telvar::print("Invalid switch address");
            return 1;
        case 'h':
            usage();
        case 'p':
            if (flag == "-port")
                g_udpport = telvar::take_value(*argc, *argv);
            else
                g_pw = telvar::take_value(*argc, *argv);
            return 1;
        case 'u':
            g_userid = telvar::take_value(*argc, *argv);
            return 1;
        default:
            return 0;
    }
}
