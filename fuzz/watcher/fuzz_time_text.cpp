// The times people type to read the history back, on any text, in a time zone with summer time:
// a time read is either refused with the reason or, when it names its zone (or is a span or a
// date) and falls from 1970 to year 9999, shown and read again as the same second; a span lies
// between now and 100 years back.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "history/time_text.h"

namespace {

namespace h = telvar::history;

constexpr h::time_ms now = 1796551200000;  // 2026-12-06T10:00:00Z
constexpr h::time_ms day = 86400000;
// What a time typed may name: from 1970 to the end of year 9999.
constexpr h::time_ms first_shown = 0, past_shown = 253402300800000;

bool names_its_zone(std::string_view text) {
    if (text.size() < 11) return true;  // a date alone is its midnight UTC
    const std::string_view tail = text.substr(10);
    return tail.find_first_of("Z+") != std::string_view::npos || tail.find('-') != std::string_view::npos;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const bool zone_set = setenv("TZ", "CET-1CEST,M3.5.0,M10.5.0/3", 1) == 0;
    if (!zone_set) std::abort();
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    std::string why;
    const auto t = h::parse_time(text, now, why);
    if (!t) {
        if (why.find(" is not a time") == std::string::npos) std::abort();
        return 0;
    }
    const bool span = text == "now" || text.find('-') == std::string_view::npos;
    if (span && (*t > now || *t < now - 100 * 366 * day)) std::abort();
    if (*t < first_shown || *t >= past_shown || (!span && !names_its_zone(text))) return 0;
    const std::string shown = h::time_text(*t);
    const auto again = h::parse_time(shown, now, why);
    const h::time_ms second = *t - ((*t % 1000) + 1000) % 1000;
    if (!again || *again != second || h::time_text(*again) != shown) std::abort();
    return 0;
}
