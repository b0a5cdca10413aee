// Times as people type them and as the history shows them.
//
// Typed (`--since`, `--until`, `--at`), a time is either
//   - an ISO 8601 time: 2026-12-06T10:15:00Z, 2026-12-06T11:15:00+01:00 (or +0100, +01),
//     with or without seconds (and a fraction of them), with a space in place of the T;
//     without a zone it is the local time of this machine (as people read a clock), the
//     standard one or summer time as the date has it;
//   - a date alone, 2026-12-06: its midnight UTC, so that a day names the same span
//     wherever the tool runs;
//   - a span back from now: a number and a unit, s m h d w (90m, 12h, 7d, 2w), or several
//     of them (1h30m); or "now".
// Shown, a time is ISO 8601 UTC to the second: 2026-12-06T10:15:03Z.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "history/rows.h"

namespace telvar::history {

// The time `text` names, spans counted back from `now`; nullopt with the reason in `why` (a
// sentence that says what is accepted).
std::optional<time_ms> parse_time(std::string_view text, time_ms now, std::string& why);

// The time as ISO 8601 UTC with seconds ("2026-12-06T10:15:03Z"); milliseconds are dropped.
std::string time_text(time_ms t);

// Milliseconds since 1970 now, from the system clock.
time_ms now_ms();

}  // namespace telvar::history
