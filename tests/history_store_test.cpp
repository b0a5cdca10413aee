// The history store, the same tests against SQLite (a file in a temporary folder) and against a
// real PostgreSQL server started by this test (support/postgres_server.h): readings and their
// items, the tool's queries, retention, the schema's versions, a reader beside a writer's open
// transaction, and a writer killed in the middle of its writes.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <optional>

#include "history/connection.h"
#include "history/store.h"
#include "support/postgres_server.h"
#include "support/temp_folder.h"

// Queries are written with designated initializers, every member not named keeping its default.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

namespace {

namespace fs = std::filesystem;
using namespace telvar::history;

enum class backend { sqlite, postgres };

// One server for the whole program, started at its first use.
tvtest::postgres_server& server() {
    static tvtest::postgres_server s;
    return s;
}

const switch_ref sw_a{"10:00:00:00:5e:01:00:01", "0x104000", 1};
const switch_ref sw_b{"10:00:00:00:5e:01:00:02", "0x108000", 2};

change_row row(std::string kind, std::string key, std::string before, std::string after, switch_ref sw = {},
               bool shown = true) {
    change_row c;
    c.sw = std::move(sw);
    c.scope = c.sw.wwn;
    c.kind = std::move(kind);
    c.key = std::move(key);
    c.before = std::move(before);
    c.after = std::move(after);
    c.shown = shown;
    return c;
}

// Values at the ends of their columns' ranges.
event_row event(time_ms at, switch_ref sw, int code) {
    return {0, at, "fab", std::move(sw), "127.0.42.2:5000", 3, code, 1, -7, 2147483647, "Link Failure"};
}

// Every field of a row but its id, to compare a row read back with the one stored.
std::string fields(const change_row& c) {
    return std::to_string(c.at) + "|" + c.fabric + "|" + c.sw.wwn + "|" + c.sw.fc_address + "|" +
           std::to_string(c.sw.chassis) + "|" + c.scope + "|" + c.kind + "|" + c.key + "|" + c.before + "|" + c.after +
           "|" + (c.shown ? "shown" : "hidden");
}
std::string fields(const event_row& e) {
    return std::to_string(e.at) + "|" + e.fabric + "|" + e.sw.wwn + "|" + e.sw.fc_address + "|" +
           std::to_string(e.sw.chassis) + "|" + e.sender + "|" + std::to_string(e.unit) + "|" + std::to_string(e.code) +
           "|" + std::to_string(e.alert) + "|" + std::to_string(e.value) + "|" + std::to_string(e.change) + "|" +
           e.description;
}

std::vector<std::string> keys(const std::vector<change_row>& rows) {
    std::vector<std::string> out;
    for (const change_row& r : rows) out.push_back(r.key);
    return out;
}

std::vector<time_ms> times(const std::vector<event_row>& rows) {
    std::vector<time_ms> out;
    for (const event_row& r : rows) out.push_back(r.at);
    return out;
}

std::string message_of(const std::function<void()>& f) {
    try {
        f();
    } catch (const store_error& e) {
        return e.what();
    }
    return "(no error)";
}

class history_store : public ::testing::TestWithParam<backend> {
protected:
    void SetUp() override {
        if (GetParam() == backend::sqlite) {
            folder_.emplace();
            path_ = folder_->path("state/telvar/history.db");
            url_ = "sqlite:" + path_;
        } else {
            // No skipping: without a server the PostgreSQL half of the store goes untested.
            ASSERT_TRUE(server().ok()) << server().error();
            static int databases = 0;
            url_ = server().new_database("history" + std::to_string(++databases));
            ASSERT_FALSE(url_.empty()) << server().error();
        }
    }
    std::unique_ptr<store> writer() { return open_store(url_, true); }
    std::unique_ptr<store> reader() { return open_store(url_, false); }
    bool sqlite() const { return GetParam() == backend::sqlite; }
    // Where messages say the database is.
    std::string where() const { return sqlite() ? path_ : url_; }
    std::size_t all_changes() { return reader()->changes_after("fab", -1).size(); }

    std::optional<tvtest::temp_folder> folder_;  // SQLite's
    std::string path_, url_;
};

TEST_P(history_store, a_reading_stores_its_rows_and_items_in_one_transaction) {
    auto w = writer();
    w->record(reading{"fab", 1000,
                      {row("port", "1", "", R"({"state":"online"})", sw_a),
                       row("device", "21:00:00:e0:8b:00:00:01", "", R"({"port":1})"),
                       row("attached", "1", "", R"(["21:00:00:e0:8b:00:00:01"])", sw_a, false)}});
    w->record(reading{"fab", 2000,
                      {row("port", "1", R"({"state":"online"})", R"({"state":"offline"})", sw_a),
                       row("device", "21:00:00:e0:8b:00:00:01", R"({"port":1})", "")}});
    // An unchanged fabric adds only the reading's time.
    w->record(reading{"fab", 3000, {}});

    auto r = reader();
    EXPECT_EQ(r->items("fab"), (std::vector<item>{{sw_a.wwn, "attached", "1", R"(["21:00:00:e0:8b:00:00:01"])"},
                                                   {sw_a.wwn, "port", "1", R"({"state":"offline"})"}}));
    EXPECT_EQ(r->readings("fab", 0, 5000), (std::vector<time_ms>{1000, 2000, 3000}));
    EXPECT_EQ(r->readings("fab", 1500, 3000), (std::vector<time_ms>{2000, 3000}));
    const auto rows = r->changes(query{});
    ASSERT_EQ(rows.size(), 4u);  // the hidden row is not among them
    EXPECT_EQ(keys(rows), (std::vector<std::string>{"1", "21:00:00:e0:8b:00:00:01", "1", "21:00:00:e0:8b:00:00:01"}));
    EXPECT_GT(rows[2].id, rows[1].id);
    EXPECT_EQ(fields(rows[2]), "2000|fab|" + sw_a.wwn + "|0x104000|1|" + sw_a.wwn +
                                   R"(|port|1|{"state":"online"}|{"state":"offline"}|shown)");
    // A device's row belongs to no switch; a thing gone has no after.
    EXPECT_EQ(fields(rows[3]), R"(2000|fab|||-1||device|21:00:00:e0:8b:00:00:01|{"port":1}||shown)");

    // A failed write leaves nothing of itself: a second reading at 2000 is refused whole.
    EXPECT_THROW(w->record(reading{"fab", 2000, {row("zone", "z1", "", "{}")}}), store_error);
    EXPECT_EQ(all_changes(), 5u);
    EXPECT_EQ(r->items("fab").size(), 2u);
    // A reader writes nothing.
    EXPECT_EQ(message_of([&] { r->record(reading{"fab", 4000, {}}); }), where() + ": opened for reading only");

    const event_row e = event(1500, sw_b, 7);
    w->record(e);
    const auto events = r->events(query{});
    ASSERT_EQ(events.size(), 1u);
    EXPECT_GT(events[0].id, 0);
    EXPECT_EQ(fields(events[0]), fields(e));
}

TEST_P(history_store, queries_by_switch_kind_time_and_limit) {
    auto w = writer();
    w->record(reading{"fab", 1000,
                      {row("port", "a1", "", "{}", sw_a), row("attached", "a1", "", "[]", sw_a, false),
                       row("device", "d1", "", "{}")}});
    w->record(reading{"other", 1500, {row("port", "x1", "", "{}", sw_a)}});
    w->record(reading{"fab", 2000, {row("port", "b1", "", "{}", sw_b), row("zone", "z1", "", "{}")}});
    w->record(reading{"fab", 3000, {row("port", "a2", "", "{}", sw_a), row("switch", "b", "{}", "{}", sw_b)}});
    for (const auto& [at, sw] : {std::pair{1500, sw_a}, {2500, sw_b}, {3500, sw_a}}) w->record(event(at, sw, 1));

    auto r = reader();
    const auto changes = [&](query q) {
        q.fabric = q.fabric.empty() ? "fab" : q.fabric;
        return keys(r->changes(q));
    };
    using v = std::vector<std::string>;
    EXPECT_EQ(changes({}), (v{"a1", "d1", "b1", "z1", "a2", "b"}));
    EXPECT_EQ(changes({.switch_wwn = sw_a.wwn}), (v{"a1", "a2"}));
    EXPECT_EQ(changes({.switch_fc = sw_b.fc_address}), (v{"b1", "b"}));
    EXPECT_EQ(changes({.chassis = 2}), (v{"b1", "b"}));
    // Any of the names that are set: a WWN and a chassis number of two switches give both.
    EXPECT_EQ(changes({.switch_wwn = sw_a.wwn, .chassis = 2}), (v{"a1", "b1", "a2", "b"}));
    EXPECT_EQ(changes({.switch_wwn = "10:00:00:00:00:00:00:99"}), v{});
    // Asked for by kind, hidden rows come too.
    EXPECT_EQ(changes({.kinds = {"attached"}}), v{"a1"});
    EXPECT_EQ(changes({.kinds = {"zone", "switch"}}), (v{"z1", "b"}));
    EXPECT_EQ(changes({.since = 2000, .until = 2000}), (v{"b1", "z1"}));
    EXPECT_EQ(changes({.since = 2001}), (v{"a2", "b"}));
    // The newest rows, oldest first; within a reading, in the order stored.
    EXPECT_EQ(changes({.limit = 3}), (v{"z1", "a2", "b"}));
    EXPECT_EQ(changes({.fabric = "other"}), v{"x1"});
    EXPECT_EQ(keys(r->changes(query{.switch_wwn = sw_a.wwn})), (v{"a1", "x1", "a2"}));  // every fabric

    // Every row after a time, hidden ones too, newest first: the order to undo them in.
    EXPECT_EQ(keys(r->changes_after("fab", 1000)), (v{"b", "a2", "z1", "b1"}));
    EXPECT_EQ(keys(r->changes_after("fab", 0)).size(), 7u);
    EXPECT_EQ(r->fabrics(), (v{"fab", "other"}));

    using t = std::vector<time_ms>;
    EXPECT_EQ(times(r->events({})), (t{1500, 2500, 3500}));
    EXPECT_EQ(times(r->events({.switch_fc = sw_a.fc_address})), (t{1500, 3500}));
    EXPECT_EQ(times(r->events({.since = 2000, .fabric = "fab"})), (t{2500, 3500}));
    EXPECT_EQ(times(r->events({.fabric = "other"})), t{});
    EXPECT_EQ(times(r->events({.chassis = 1, .limit = 1})), t{3500});
}

TEST_P(history_store, retention_forgets_old_readings_changes_and_events_and_keeps_the_items) {
    auto w = writer();
    w->record(reading{"fab", 1000, {row("port", "1", "", "{}", sw_a)}});
    w->record(reading{"fab", 2000, {row("port", "2", "", "{}", sw_a)}});
    w->record(reading{"fab", 3000, {}});
    w->record(event(1000, sw_a, 1));
    w->record(event(3000, sw_a, 2));
    w->forget_before(2000);

    auto r = reader();
    EXPECT_EQ(r->readings("fab", 0, 9000), (std::vector<time_ms>{2000, 3000}));
    EXPECT_EQ(keys(r->changes({})), std::vector<std::string>{"2"});
    EXPECT_EQ(times(r->events({})), std::vector<time_ms>{3000});
    EXPECT_EQ(r->items("fab").size(), 2u);
    w->forget_before(9000);
    EXPECT_TRUE(r->fabrics().empty());  // no reading left
    EXPECT_EQ(r->items("fab").size(), 2u);
}

TEST_P(history_store, the_schema_is_made_migrated_and_refused_when_newer) {
    const std::string none = "no history at " + where() + ": telvard records one there; --db or TELVAR_DB names another";
    EXPECT_EQ(message_of([&] { reader(); }), none);
    if (sqlite()) {
        // A reader creates nothing; an empty file is no history either.
        EXPECT_FALSE(fs::exists(fs::path(path_).parent_path()));
        fs::create_directories(fs::path(path_).parent_path());
        std::ofstream{path_};
        EXPECT_EQ(message_of([&] { reader(); }), none);
        fs::remove_all(folder_->path("state"));
    }
    writer()->record(reading{"fab", 1000, {row("port", "1", "", "{}")}});
    if (sqlite()) {
        struct stat st{};
        ASSERT_EQ(::stat(folder_->path("state/telvar").c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0700u);
        ASSERT_EQ(::stat(path_.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0600u);
    }
    {
        auto c = connect(url_, true);
        std::int64_t version = 0;
        c->run("SELECT version FROM schema_version", {}, [&](const result_row& r) { version = r.integer(0); });
        EXPECT_EQ(version, store::schema_version);
        // Opening again migrates nothing and keeps what is there.
        EXPECT_EQ(writer()->items("").size(), 0u);
        EXPECT_EQ(reader()->items("fab").size(), 1u);
        c->run("UPDATE schema_version SET version = 2");
    }
    EXPECT_EQ(message_of([&] { reader(); }),
              where() + ": written by a newer telvard (schema 2); this telvar reads up to 1");
    EXPECT_EQ(message_of([&] { writer(); }),
              where() + ": written by a newer telvard (schema 2); this telvard writes up to 1");
}

TEST_P(history_store, a_reader_opens_and_reads_while_the_writer_holds_a_transaction) {
    writer()->record(reading{"fab", 1000, {}});
    auto c = connect(url_, true);
    c->begin();
    c->run("INSERT INTO readings (fabric, at) SELECT id, 2000 FROM fabrics");
    auto r = reader();
    EXPECT_EQ(r->readings("fab", 0, 9000), std::vector<time_ms>{1000});
    c->commit();
    EXPECT_EQ(r->readings("fab", 0, 9000), (std::vector<time_ms>{1000, 2000}));
}

TEST_P(history_store, a_writer_killed_while_writing_loses_no_committed_reading) {
    writer();  // the schema, before the race
    int pipe_fds[2];
    ASSERT_EQ(::pipe(pipe_fds), 0);
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        ::close(pipe_fds[0]);
        try {
            auto s = open_store(url_, true);
            for (time_ms at = 1;; ++at) {
                reading r{"fab", at, {}};
                for (int i = 0; i < 50; ++i)
                    r.changes.push_back(row("device", std::to_string(at) + "." + std::to_string(i), "", "{}"));
                s->record(r);
                // Reported only once record() has returned: committed.
                if (::write(pipe_fds[1], &at, sizeof at) != sizeof at) break;
            }
        } catch (...) {
        }
        ::_exit(1);
    }
    ::close(pipe_fds[1]);
    std::vector<time_ms> reported;
    time_ms at = 0;
    while (::read(pipe_fds[0], &at, sizeof at) == sizeof at) {
        reported.push_back(at);
        if (reported.size() == 20) ::kill(pid, SIGKILL);
    }
    ::close(pipe_fds[0]);
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << "the writer ended on its own: " << status;

    auto w = writer();  // opens, recovering what the writer left
    const auto kept = w->readings("fab", 0, 1'000'000);
    const auto changes = w->changes({});
    ASSERT_GE(kept.size(), reported.size());
    EXPECT_TRUE(std::equal(reported.begin(), reported.end(), kept.begin()));
    // Whole readings only: 50 rows for each one kept.
    EXPECT_EQ(changes.size(), 50 * kept.size());
    EXPECT_EQ(w->items("fab").size(), 50 * kept.size());
    if (sqlite()) {
        std::string check;
        connect(url_, false)->run("PRAGMA integrity_check", {}, [&](const result_row& r) { check = r.text(0); });
        EXPECT_EQ(check, "ok");
    }
}

// Where the history is when nothing names it, and URLs that name no database.
TEST(history_urls, the_default_follows_the_service_then_the_user_state_folder) {
    const auto saved = [](const char* name) -> std::optional<std::string> {
        const char* v = std::getenv(name);
        return v ? std::optional<std::string>(v) : std::nullopt;
    };
    const auto state_directory = saved("STATE_DIRECTORY"), xdg = saved("XDG_STATE_HOME"), home = saved("HOME");
    ::setenv("STATE_DIRECTORY", "/var/lib/telvar:/var/lib/other", 1);
    ::setenv("XDG_STATE_HOME", "/home/u/state", 1);
    ::setenv("HOME", "/home/u", 1);
    EXPECT_EQ(default_url(), "sqlite:/var/lib/telvar/history.db");
    ::unsetenv("STATE_DIRECTORY");
    EXPECT_EQ(default_url(), "sqlite:/home/u/state/telvar/history.db");
    ::setenv("XDG_STATE_HOME", "relative/state", 1);  // not absolute: not taken
    EXPECT_EQ(default_url(), "sqlite:/home/u/.local/state/telvar/history.db");
    for (const auto& [name, value] : {std::pair{"STATE_DIRECTORY", state_directory}, {"XDG_STATE_HOME", xdg}, {"HOME", home}})
        value ? ::setenv(name, value->c_str(), 1) : ::unsetenv(name);

    EXPECT_EQ(message_of([] { open_store("mysql://db/history", false); }),
              "mysql://db/history: not a history database URL (sqlite:PATH or postgresql://...)");
    EXPECT_EQ(message_of([] { open_store("sqlite:", true); }), "\"sqlite:\": no path for the history database");
    EXPECT_EQ(message_of([] { open_store("/nonexistent/history.db", false); }),
              "no history at /nonexistent/history.db: telvard records one there; --db or TELVAR_DB names another");
    // A password stays out of what is shown.
    const std::string refused = message_of([] { open_store("postgresql://me:secret@/nodb?host=/nonexistent", false); });
    EXPECT_EQ(refused.rfind("postgresql://me@/nodb?host=/nonexistent: ", 0), 0u) << refused;
    EXPECT_EQ(refused.find("secret"), std::string::npos);
}

// A team's server restarts under a running watcher: one call fails, the next connects again.
TEST(history_postgres, a_writer_outlives_a_restart_of_the_server) {
    ASSERT_TRUE(server().ok()) << server().error();
    const std::string url = server().new_database("restarted");
    auto w = open_store(url, true);
    w->record(reading{"fab", 1000, {}});
    ASSERT_TRUE(server().restart()) << server().error();
    EXPECT_THROW(w->record(reading{"fab", 2000, {}}), store_error);
    w->record(reading{"fab", 3000, {row("port", "1", "", "{}")}});
    auto r = open_store(url, false);
    EXPECT_EQ(r->readings("fab", 0, 9000), (std::vector<time_ms>{1000, 3000}));
    EXPECT_EQ(r->items("fab").size(), 1u);
    // What PostgreSQL cannot store is refused, not cut short.
    EXPECT_THROW(w->record(reading{"fab", 4000, {row("port", std::string("a\0b", 3), "", "{}")}}), store_error);
    EXPECT_EQ(r->readings("fab", 0, 9000).size(), 2u);
}

INSTANTIATE_TEST_SUITE_P(backends, history_store, ::testing::Values(backend::sqlite, backend::postgres),
                         [](const auto& p) { return p.param == backend::sqlite ? "sqlite" : "postgres"; });

}  // namespace
