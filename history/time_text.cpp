// Times typed and shown (see time_text.h). The parser reads the text left to right with a small
// cursor, so that every field is checked for its digits and its range and nothing is guessed:
// "2026-13-01", "2026-02-30", "10:75" and "12x" are refused with the forms that are accepted.
#include "history/time_text.h"

#include <chrono>
#include <cstdio>
#include <ctime>

namespace telvar::history {

namespace {

constexpr time_ms ms_per_second = 1000, ms_per_minute = 60 * ms_per_second, ms_per_hour = 60 * ms_per_minute,
                  ms_per_day = 24 * ms_per_hour;

// A span longer than this is no span back into any history (and keeps every sum far from
// overflowing).
constexpr time_ms longest_span = 100 * 366 * ms_per_day;

const char* const accepted =
    "give an ISO 8601 time (2026-12-06T10:15:00Z, 2026-12-06T11:15+01:00; without a zone, local "
    "time), a date (2026-12-06, its midnight UTC), a span back from now (30s, 90m, 12h, 7d, 2w) "
    "or now";

// Days from 1970-01-01 to a date of the proleptic Gregorian calendar.
constexpr std::int64_t days_from_civil(std::int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const auto yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}
static_assert(days_from_civil(1970, 1, 1) == 0);
static_assert(days_from_civil(2000, 3, 1) == 11017);

constexpr unsigned days_in_month(std::int64_t y, unsigned m) {
    constexpr unsigned days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
    return m == 2 && leap ? 29 : days[m - 1];
}

class cursor {
public:
    explicit cursor(std::string_view t) : t_(t) {}
    bool done() const { return at_ == t_.size(); }
    char peek() const { return done() ? '\0' : t_[at_]; }
    bool take(char c) {
        if (peek() != c) return false;
        ++at_;
        return true;
    }
    // Exactly n decimal digits.
    std::optional<int> digits(int n) {
        if (t_.size() - at_ < static_cast<std::size_t>(n)) return std::nullopt;
        int v = 0;
        for (int i = 0; i < n; ++i) {
            const char c = t_[at_ + static_cast<std::size_t>(i)];
            if (c < '0' || c > '9') return std::nullopt;
            v = v * 10 + (c - '0');
        }
        at_ += static_cast<std::size_t>(n);
        return v;
    }
    bool digit_next() const { return peek() >= '0' && peek() <= '9'; }

private:
    std::string_view t_;
    std::size_t at_ = 0;
};

// The broken-down time of a typed ISO 8601 time, before its zone is applied.
struct civil {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, ms = 0;
    bool has_time = false;
    std::optional<int> offset_minutes;  // east of UTC; none: local time
};

std::optional<civil> read_iso(std::string_view text, std::string& why) {
    cursor c(text);
    civil v;
    const auto bad = [&](const std::string& what) -> std::optional<civil> {
        why = "'" + std::string(text) + "' is not a time" + (what.empty() ? "" : " (" + what + ")") + ": " + accepted;
        return std::nullopt;
    };
    const auto y = c.digits(4);
    if (!y || !c.take('-')) return bad("");
    const auto mo = c.digits(2);
    if (!mo || !c.take('-')) return bad("");
    const auto d = c.digits(2);
    if (!d) return bad("");
    v.year = *y;
    v.month = *mo;
    v.day = *d;
    if (v.year < 1970) return bad("before 1970");
    if (v.month < 1 || v.month > 12) return bad("no month " + std::to_string(v.month));
    if (v.day < 1 || static_cast<unsigned>(v.day) > days_in_month(v.year, static_cast<unsigned>(v.month)))
        return bad("no day " + std::to_string(v.day) + " in that month");
    if (c.done()) {
        v.offset_minutes = 0;  // a date alone: its midnight UTC
        return v;
    }
    if (!c.take('T') && !c.take('t') && !c.take(' ')) return bad("");
    v.has_time = true;
    const auto h = c.digits(2);
    if (!h || !c.take(':')) return bad("");
    const auto mi = c.digits(2);
    if (!mi) return bad("");
    v.hour = *h;
    v.minute = *mi;
    if (c.take(':')) {
        const auto s = c.digits(2);
        if (!s) return bad("");
        v.second = *s;
        if (c.take('.') || c.take(',')) {
            if (!c.digit_next()) return bad("");
            for (int scale = 100; c.digit_next(); scale /= 10) v.ms += scale * *c.digits(1);
        }
    }
    if (v.hour > 23 || v.minute > 59 || v.second > 59) return bad("no such time of day");
    if (c.take('Z') || c.take('z')) {
        v.offset_minutes = 0;
    } else if (c.peek() == '+' || c.peek() == '-') {
        const int sign = c.take('-') ? -1 : (c.take('+'), 1);
        const auto oh = c.digits(2);
        if (!oh) return bad("");
        int om = 0;
        if (!c.done()) {
            c.take(':');
            const auto m = c.digits(2);
            if (!m) return bad("");
            om = *m;
        }
        if (*oh > 14 || om > 59) return bad("no such offset");
        v.offset_minutes = sign * (*oh * 60 + om);
    }
    if (!c.done()) return bad("");
    return v;
}

std::optional<time_ms> read_span(std::string_view text) {
    cursor c(text);
    time_ms total = 0;
    if (c.done()) return std::nullopt;
    while (!c.done()) {
        if (!c.digit_next()) return std::nullopt;
        time_ms n = 0;
        while (c.digit_next()) {
            n = n * 10 + *c.digits(1);
            if (n > longest_span / ms_per_second) return std::nullopt;
        }
        time_ms unit = 0;
        switch (c.peek()) {
            case 's': unit = ms_per_second; break;
            case 'm': unit = ms_per_minute; break;
            case 'h': unit = ms_per_hour; break;
            case 'd': unit = ms_per_day; break;
            case 'w': unit = 7 * ms_per_day; break;
            default: return std::nullopt;
        }
        c.take(c.peek());
        if (n > longest_span / unit) return std::nullopt;
        total += n * unit;
        if (total > longest_span) return std::nullopt;
    }
    return total;
}

}  // namespace

time_ms now_ms() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::system_clock::now().time_since_epoch())
        .count();
}

std::optional<time_ms> parse_time(std::string_view text, time_ms now, std::string& why) {
    if (text == "now") return now;
    if (!text.empty() && text.front() >= '0' && text.front() <= '9' && text.find('-') == std::string_view::npos) {
        if (const auto span = read_span(text)) return now - *span;
        why = "'" + std::string(text) + "' is not a time: " + accepted + " (a span of at most 100 years)";
        return std::nullopt;
    }
    const auto v = read_iso(text, why);
    if (!v) return std::nullopt;
    const time_ms within_day = v->hour * ms_per_hour + v->minute * ms_per_minute + v->second * ms_per_second + v->ms;
    if (v->offset_minutes) {
        const std::int64_t days = days_from_civil(v->year, static_cast<unsigned>(v->month), static_cast<unsigned>(v->day));
        return days * ms_per_day + within_day - *v->offset_minutes * ms_per_minute;
    }
    // Local time: the zone's rules (summer time included) decide the offset of that date; a
    // time a clock skips in spring is read as the time it stands for after the change.
    std::tm t{};
    t.tm_year = v->year - 1900;
    t.tm_mon = v->month - 1;
    t.tm_mday = v->day;
    t.tm_hour = v->hour;
    t.tm_min = v->minute;
    t.tm_sec = v->second;
    t.tm_isdst = -1;
    const std::time_t seconds = std::mktime(&t);
    if (seconds == static_cast<std::time_t>(-1)) {
        why = "'" + std::string(text) + "' is not a time of the local time zone: " + accepted;
        return std::nullopt;
    }
    return static_cast<time_ms>(seconds) * ms_per_second + v->ms;
}

std::string time_text(time_ms t) {
    // Whole days and the time within the day, rounded toward the past for times before 1970.
    std::int64_t days = t / ms_per_day;
    time_ms rest = t % ms_per_day;
    if (rest < 0) {
        rest += ms_per_day;
        --days;
    }
    // The civil date of a day number (the inverse of days_from_civil).
    const std::int64_t z = days + 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const auto doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    const unsigned d = doy - (153 * mp + 2) / 5 + 1;
    const unsigned m = mp < 10 ? mp + 3 : mp - 9;
    const std::int64_t y = static_cast<std::int64_t>(yoe) + era * 400 + (m <= 2);
    char out[40];
    std::snprintf(out, sizeof out, "%04lld-%02u-%02uT%02lld:%02lld:%02lldZ", static_cast<long long>(y), m, d,
                  static_cast<long long>(rest / ms_per_hour), static_cast<long long>(rest / ms_per_minute % 60),
                  static_cast<long long>(rest / ms_per_second % 60));
    return out;
}

}  // namespace telvar::history
