// How the watcher words a trap wherever a person reads it: the system log and the alerts.
//
// One line per trap:
//   fabric FABRIC switch WWN (chassis N, FC-ADDRESS) trap CODE DESCRIPTION[ UNIT] ALERT value V change C
// for example
//   fabric 127.0.0.2 switch 10:00:00:60:69:00:00:01 (chassis 1, 0x104000) trap 10 Port Logout port 3 rising value 5 change 1
// UNIT is "port N" for the codes about a port (9 to 25), "asic N" for those about an ASIC (29
// to 31), and absent for the others; ALERT is "rising", "falling", or "alert N" for a type
// without a name. Every text in it passes through sanitized(), since a switch chose some of it.
#pragma once

#include <string>
#include <string_view>

#include "history/rows.h"

namespace telvar::events {

// The description of a trap code: the library's table for 0 to 31, the test alert's own text
// for 99, "unknown trap code N" for any other.
std::string trap_description(int code);

// "rising", "falling", or "alert N".
std::string alert_name(int alert);

// What the unit of a trap is ("port 3", "asic 1"), or "" for a trap about the whole switch.
std::string unit_text(int code, int unit);

// The text with every byte that is not printable ASCII (control characters, DEL, and bytes of
// 0x80 and above) replaced by '?', so that nothing a switch sent can break a log line, forge
// one, or reach a terminal as an escape sequence.
std::string sanitized(std::string_view text);

// The line above for one trap.
std::string trap_line(const history::event_row& e);

// UTC time as RFC 3339 with milliseconds ("2026-12-06T07:30:00.123Z").
std::string rfc3339(history::time_ms at);

}  // namespace telvar::events
