// What the fabric history holds, as plain records: the state of each watched fabric as items,
// the changes between readings as rows a person reads, and the traps the switches sent.
//
// A fabric is named by the address it is watched through (the switch telvard walks it from).
// An item is one thing a reading found, identified within its fabric by scope, kind and key:
// the scope is the WWN of the switch it belongs to ("" for what belongs to the fabric, the name
// server's devices); its value is the thing's JSON text with what moves on its own (counters,
// uptime, temperature) left out. A change row says how one item went from `before` to `after`
// (empty text: it did not exist) at one reading.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace telvar::history {

// Milliseconds since 1970-01-01T00:00:00Z.
using time_ms = std::int64_t;

// The switch a row is about, as a person names it (all empty / -1 for fabric-wide rows).
struct switch_ref {
    std::string wwn;         // "10:00:00:00:5e:01:00:00"
    std::string fc_address;  // "0x104000"
    int chassis = -1;
};

struct item {
    std::string scope;  // a switch's WWN, or "" for the fabric's own items
    std::string kind;
    std::string key;
    std::string value;  // JSON text
    bool operator==(const item&) const = default;
};

struct change_row {
    std::int64_t id = 0;  // set by the store, in the order rows were stored
    time_ms at = 0;       // the reading's time
    std::string fabric;
    switch_ref sw;
    std::string scope, kind, key;  // the item that changed
    std::string before, after;     // its JSON text; empty: it was not there / is gone
    // False for rows kept only so that the past can be rebuilt (what follows from another row:
    // a port's attached devices, the initiator table, the parts of a switch that joined or
    // left); the tool shows them only when asked for their kind.
    bool shown = true;
};

// One reading of a fabric: its time, and what changed since the reading before. The store
// applies it in one transaction: the reading's time, the rows, and the items they change
// (every row's `after`, or the item's removal when `after` is empty).
struct reading {
    std::string fabric;
    time_ms at = 0;
    std::vector<change_row> changes;
};

// One trap as received and decoded.
struct event_row {
    std::int64_t id = 0;
    time_ms at = 0;
    std::string fabric;
    switch_ref sw;           // the switch that raised it, as the fabric's items know it
    std::string sender;      // "ADDRESS:PORT" it came from
    int unit = 0;            // port or ASIC number
    int code = 0;            // trap code
    int alert = 0;           // 0 rising, 1 falling
    std::int32_t value = 0;  // counter value
    std::int32_t change = 0; // counter change
    std::string description; // the trap code's description
};

// What the tool asks for; every member that is set narrows the rows.
struct query {
    std::optional<time_ms> since, until;  // since <= at <= until
    std::string fabric;
    // A switch: rows whose switch has this WWN, FC address or chassis number (any that is set).
    std::string switch_wwn, switch_fc;
    std::optional<int> chassis;
    // Empty: every row that is shown. Else rows of these kinds: those shown, and for the kinds
    // never shown (attached, initiators) all of theirs.
    std::vector<std::string> kinds;
    std::size_t limit = 0;           // 0: no limit; else the newest `limit` rows
};

}  // namespace telvar::history
