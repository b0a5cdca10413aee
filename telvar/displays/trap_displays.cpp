// Displays of the trap commands: the trap configuration table and the event table.
#include <cstdio>

#include "telvar/displays/trap_display.h"
#include "telvar/framework/output.h"
#include "telvar/telvar.h"

namespace telvar {

namespace {

// Codes 9 to 25 are about a port, 29 to 31 about an ASIC; the others about the switch.
std::string unit_text(const tv_trap_event& e) {
    char text[16] = "";
    if (e.code >= 9 && e.code <= 25)
        std::snprintf(text, sizeof text, "port%3d", e.unit);
    else if (e.code >= 29 && e.code <= 31)
        std::snprintf(text, sizeof text, "asic %3d", e.unit);
    return text;
}

// The local time as ctime writes it, without the weekday: the line's format cuts it to 16
// characters (month, day, time and a blank).
std::string timestamp(std::time_t when) {
    char text[64] = "";
    if (ctime_r(&when, text) == nullptr) return "";
    return text + 4;
}

}  // namespace

const char* const trap_event_header =
    "                 Trap                   Alert      Trap Counter\n"
    "Timestamp        Code    Trap Source    Type     Value      Change \n"
    "---------------  ----  ---------------  -------  ---------  ---------\n";

std::string trap_event_line(const tv_trap_event& e, std::time_t when) {
    // An alert type without a name prints an empty column.
    const char* alert = e.alert < 2 ? trap_alert_types[e.alert] : "";
    char line[160];
    std::snprintf(line, sizeof line, "%16.16s  %2.2d   %6.6x  %-7.7s  %-7.7s  %9.9d  %9.9d\n",
                  timestamp(when).c_str(), e.code, e.source, unit_text(e).c_str(), alert, e.value,
                  e.change);
    return line;
}

}  // namespace telvar

extern "C" void show_trap_configs(const tv_trap_config_list* list) {
    if (list == nullptr || list->count == 0 || list->entries == nullptr) {
        telvar::print("No trap configuration data to print\n");
        return;
    }
    telvar::print("Trap  Trap         Thresholds     Trap       \n"
                  "Code  Status    Rising   Falling  Description\n"
                  "----  --------  -------  -------  --------------------------------------------\n");
    for (std::uint32_t i = 0; i < list->count; ++i) {
        const tv_trap_config& c = list->entries[i];
        // A list longer than the code table has no description for its extra entries.
        telvar::print("%2.2d    %-8s  %-7d  %-7d  %-44.44s\n", c.code,
                      c.status != 0 ? "enabled" : "disabled", c.rising, c.falling,
                      i < TV_TRAP_CODES ? trap_types[i] : "");
    }
}
