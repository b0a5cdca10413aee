// The history database: SQLite by default, PostgreSQL for a team that shares one history, with
// one schema (docs/history.md) versioned and migrated forward on open. One process writes (the
// watcher); any number read at the same time.
//
// URLs: "sqlite:PATH" (a file, created with its folder when missing) and
// "postgresql://..." or "postgres://..." (a libpq connection URI). A bare path is taken as
// "sqlite:PATH".
//
// The threads of one process may share a store; its calls take turns.
//
// Every call reports failure by exception (store_error) with a message a person can act on;
// a failed write leaves nothing of itself behind.
#pragma once

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "history/rows.h"

namespace telvar::history {

struct store_error : std::runtime_error {
    using std::runtime_error::runtime_error;
};

class store {
public:
    virtual ~store() = default;

    // The schema version this build writes and reads.
    static constexpr int schema_version = 1;

    // ---- the watcher ----
    // The items of the fabric's last reading (none before its first).
    virtual std::vector<item> items(const std::string& fabric) = 0;
    // Stores one reading in one transaction (see `reading`).
    virtual void record(const reading& r) = 0;
    // Stores one trap.
    virtual void record(const event_row& e) = 0;
    // Forgets readings, changes and events older than `cutoff`; the items stay (they are the
    // state of the last reading).
    virtual void forget_before(time_ms cutoff) = 0;

    // ---- the tool ----
    // The fabrics with at least one reading, by name.
    virtual std::vector<std::string> fabrics() = 0;
    // Times of the fabric's readings within [from, to], oldest first.
    virtual std::vector<time_ms> readings(const std::string& fabric, time_ms from, time_ms to) = 0;
    // Rows that match, oldest first (by time, then by id).
    virtual std::vector<change_row> changes(const query& q) = 0;
    virtual std::vector<event_row> events(const query& q) = 0;
    // Every change of the fabric stored after `after` (at > after), newest first: the rows
    // to undo, from the items, to rebuild the fabric as it stood at `after`.
    virtual std::vector<change_row> changes_after(const std::string& fabric, time_ms after) = 0;
};

// Opens (creating or migrating the schema when `writer`) the database a URL names. A reader
// that finds no database, or one of a newer schema, fails with a message saying so.
std::unique_ptr<store> open_store(const std::string& url, bool writer);

// Where the history is when neither --db nor TELVAR_DB names it: under the user's state
// folder ($XDG_STATE_HOME, else ~/.local/state) as telvar/history.db, or, for the service
// (systemd's $STATE_DIRECTORY set), history.db there. Returned as a "sqlite:" URL.
std::string default_url();

}  // namespace telvar::history
