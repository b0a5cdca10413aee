// The words of a trap (see trap_text.h).
#include "telvard/events/trap_text.h"

#include <cstdio>
#include <ctime>

#include "telvar/traps.h"

namespace telvar::events {

namespace {

constexpr int test_alert_code = TV_TRAP_TEST_CODE;

bool about_a_port(int code) { return code >= 9 && code <= 25; }
bool about_an_asic(int code) { return code >= 29 && code <= 31; }

}  // namespace

std::string trap_description(int code) {
    if (code >= 0 && code < TV_TRAP_CODES) return trap_types[code];
    if (code == test_alert_code) return "Test alert";
    return "unknown trap code " + std::to_string(code);
}

std::string alert_name(int alert) {
    if (alert == TV_TRAP_RISING || alert == TV_TRAP_FALLING) return trap_alert_types[alert];
    return "alert " + std::to_string(alert);
}

std::string unit_text(int code, int unit) {
    if (about_a_port(code)) return "port " + std::to_string(unit);
    if (about_an_asic(code)) return "asic " + std::to_string(unit);
    return "";
}

std::string sanitized(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) > 0x7E) c = '?';
    return out;
}

std::string trap_line(const history::event_row& e) {
    std::string line = "fabric " + e.fabric + " switch " + e.sw.wwn + " (chassis " +
                       std::to_string(e.sw.chassis) + ", " + e.sw.fc_address + ") trap " +
                       std::to_string(e.code) + " " + e.description;
    if (const std::string unit = unit_text(e.code, e.unit); !unit.empty()) line += " " + unit;
    line += " " + alert_name(e.alert) + " value " + std::to_string(e.value) + " change " +
            std::to_string(e.change);
    return sanitized(line);
}

std::string rfc3339(history::time_ms at) {
    // Floor division, so that a time before 1970 still gets milliseconds in 0-999.
    const std::time_t s = static_cast<std::time_t>(at / 1000 - (at % 1000 < 0 ? 1 : 0));
    const int ms = static_cast<int>(at - static_cast<history::time_ms>(s) * 1000);
    std::tm tm{};
    gmtime_r(&s, &tm);
    char text[40];
    const std::size_t n = std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &tm);
    std::snprintf(text + n, sizeof text - n, ".%03dZ", ms);
    return text;
}

}  // namespace telvar::events
