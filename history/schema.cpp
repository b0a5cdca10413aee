// Each migration is a list of statements taking the schema from one version to the next; the
// table `schema_version` holds the version reached. The statements are written once for both
// dialects: "{id}" stands for the type of a generated id, which is the one thing they spell
// differently. Integers are BIGINT where they may pass 32 bits (times, ids), so that both
// databases store the same values.
#include "history/schema.h"

#include <array>
#include <span>
#include <string_view>

#include "history/store.h"

namespace telvar::history {

namespace {

constexpr std::string_view version_1[] = {
    "CREATE TABLE fabrics (id {id}, name TEXT NOT NULL UNIQUE)",
    // A reading of an unchanged fabric adds only this row: keep it two integers.
    "CREATE TABLE readings (fabric BIGINT NOT NULL REFERENCES fabrics (id), at BIGINT NOT NULL, "
    "PRIMARY KEY (fabric, at))",
    "CREATE INDEX readings_by_time ON readings (at)",
    "CREATE TABLE items (fabric BIGINT NOT NULL REFERENCES fabrics (id), scope TEXT NOT NULL, "
    "kind TEXT NOT NULL, key TEXT NOT NULL, value TEXT NOT NULL, "
    "PRIMARY KEY (fabric, scope, kind, key))",
    "CREATE TABLE changes (id {id}, fabric BIGINT NOT NULL REFERENCES fabrics (id), "
    "at BIGINT NOT NULL, switch_wwn TEXT NOT NULL, switch_fc TEXT NOT NULL, "
    "chassis INTEGER NOT NULL, scope TEXT NOT NULL, kind TEXT NOT NULL, key TEXT NOT NULL, "
    "before TEXT NOT NULL, after TEXT NOT NULL, shown INTEGER NOT NULL)",
    "CREATE INDEX changes_by_fabric ON changes (fabric, at)",
    "CREATE INDEX changes_by_time ON changes (at)",
    "CREATE TABLE events (id {id}, fabric BIGINT NOT NULL REFERENCES fabrics (id), "
    "at BIGINT NOT NULL, switch_wwn TEXT NOT NULL, switch_fc TEXT NOT NULL, "
    "chassis INTEGER NOT NULL, sender TEXT NOT NULL, unit INTEGER NOT NULL, "
    "code INTEGER NOT NULL, alert INTEGER NOT NULL, value INTEGER NOT NULL, "
    "change INTEGER NOT NULL, description TEXT NOT NULL)",
    "CREATE INDEX events_by_fabric ON events (fabric, at)",
    "CREATE INDEX events_by_time ON events (at)",
};

// migrations[v] takes a database from version v to v + 1.
constexpr std::array<std::span<const std::string_view>, 1> migrations = {version_1};
static_assert(migrations.size() == store::schema_version);

int stored_version(connection& c) {
    int v = 0;
    c.run("SELECT COALESCE(MAX(version), 0) FROM schema_version", {},
          [&](const result_row& r) { v = static_cast<int>(r.integer(0)); });
    return v;
}

std::string newer(connection& c, int v, bool writer) {
    return c.where() + ": written by a newer telvard (schema " + std::to_string(v) + "); this " +
           (writer ? "telvard writes" : "telvar reads") + " up to " +
           std::to_string(store::schema_version);
}

void migrate(connection& c, int from) {
    for (std::string_view text : migrations[static_cast<std::size_t>(from)]) {
        std::string sql(text);
        if (const auto at = sql.find("{id}"); at != std::string::npos)
            sql.replace(at, 4, c.id_type());
        c.run(sql);
    }
    const param to[] = {std::int64_t{from + 1}};
    c.run("DELETE FROM schema_version");
    c.run("INSERT INTO schema_version (version) VALUES ($1)", to);
}

}  // namespace

std::string no_history(const std::string& where) {
    return "no history at " + where + ": telvard records one there; --db or TELVAR_DB names another";
}

void prepare_schema(connection& c, bool writer) {
    if (!c.has_table("schema_version")) {
        if (!writer) throw store_error(no_history(c.where()));
        c.run("CREATE TABLE IF NOT EXISTS schema_version (version INTEGER NOT NULL)");
    }
    if (!writer) {
        const int v = stored_version(c);
        if (v == 0) throw store_error(no_history(c.where()));
        if (v > store::schema_version) throw store_error(newer(c, v, false));
        if (v < store::schema_version)
            throw store_error(c.where() + ": written by an older telvard (schema " +
                              std::to_string(v) + "); telvard brings it up to date when it starts");
        return;
    }
    for (;;) {
        transaction t(c);
        const int v = stored_version(c);  // under the write lock: no other writer migrates
        if (v > store::schema_version) throw store_error(newer(c, v, true));
        if (v == store::schema_version) return;
        migrate(c, v);
        t.commit();
    }
}

}  // namespace telvar::history
