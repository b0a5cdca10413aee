// The history read back by the tool: the times people type, then `telvar history`, `telvar
// events` and `telvar snapshot --at` run as child processes against an SQLite history that the
// test fills through the store's API, with known rows, and with snapshots of the default fabric
// (run in this process) recorded as the watcher records them.
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "history/fabric_items.h"
#include "history/store.h"
#include "history/time_text.h"
#include "support/run_tool.h"
#include "support/temp_folder.h"
#include "support/test_addresses.h"
#include "support/tool_test.h"

namespace {

namespace H = telvar::history;
namespace fs = std::filesystem;
using nlohmann::json;
using tvtest::args;

constexpr H::time_ms second = 1000, minute = 60 * second, hour = 60 * minute;
constexpr H::time_ms dec6 = 1796515200000;  // 2026-12-06T00:00:00Z
constexpr H::time_ms ten = dec6 + 10 * hour;

// ---- times ----

TEST(time_text, reads_iso_times_dates_spans_and_now) {
    const H::time_ms now = ten + 30 * minute;
    const std::vector<std::pair<std::string, H::time_ms>> cases{
        {"2026-12-06T10:00:00Z", ten}, {"2026-12-06t10:00z", ten}, {"2026-12-06 10:00:00Z", ten},
        {"2026-12-06T10:00:07.25Z", ten + 7250}, {"2026-12-06T11:15:00+01:00", ten + 15 * minute},
        {"2026-12-06T11:15+0100", ten + 15 * minute}, {"2026-12-06T11:00+01", ten}, {"2026-12-06T04:30:00-05:30", ten},
        {"2026-12-06", dec6}, {"2028-02-29", 1835395200000}, {"1970-01-01T00:00:00Z", 0},
        {"30s", now - 30 * second}, {"90m", now - 90 * minute}, {"12h", now - 12 * hour}, {"7d", now - 7 * 24 * hour},
        {"2w", now - 14 * 24 * hour}, {"1h30m", now - 90 * minute}, {"now", now},
    };
    for (const auto& [text, want] : cases) {
        std::string why;
        EXPECT_EQ(want, H::parse_time(text, now, why)) << text << ": " << why;
    }
}

TEST(time_text, refuses_what_is_no_time_and_names_what_is) {
    for (const char* text : {"", "yesterday", "12x", "-5m", "5", "m", "1h30", "2026", "2026-12", "2026-13-01",
                             "2026-02-29", "2026-04-31", "2026-12-06T24:00Z", "2026-12-06T10:75Z",
                             "2026-12-06T10:15:60Z", "2026-12-06T10Z", "2026-12-06T10:15+15:00",
                             "2026-12-06T10:15+01:7", "2026-12-06T10:15Zjunk", "1969-12-31", "26-12-06",
                             "99999999999999w", "2026-12-06T10:15:00.Z"}) {
        std::string why;
        EXPECT_EQ(std::nullopt, H::parse_time(text, ten, why)) << text;
        EXPECT_TRUE(why.starts_with("'" + std::string(text) + "' is not a time")) << why;
        EXPECT_NE(std::string::npos, why.find("2026-12-06T10:15:00Z")) << why;
        EXPECT_NE(std::string::npos, why.find("90m")) << why;
    }
}

// A time without a zone is the machine's local time, summer time included; a date alone is UTC.
TEST(time_text, reads_a_time_without_a_zone_as_local_time) {
    // Two hours east of UTC in winter, three in summer (from the last Sunday of March); the
    // machine's zone put back at the end.
    struct zone {
        const char* saved = std::getenv("TZ");
        std::string before = saved ? saved : "";
        zone() { setenv("TZ", "EET-2EEST,M3.5.0/3,M10.5.0/4", 1), tzset(); }
        ~zone() { saved ? setenv("TZ", before.c_str(), 1) : unsetenv("TZ"), tzset(); }
    } eet;
    std::string why;
    EXPECT_EQ(ten, H::parse_time("2026-12-06T12:00", 0, why)) << why;
    EXPECT_EQ(ten, H::parse_time("2026-12-06 12:00:00", 0, why)) << why;
    EXPECT_EQ(1782036000000, H::parse_time("2026-06-21T13:00", 0, why)) << why;  // 10:00Z in summer
    EXPECT_EQ(dec6, H::parse_time("2026-12-06", 0, why)) << why;
}

TEST(time_text, shows_utc_to_the_second) {
    EXPECT_EQ("2026-12-06T10:00:00Z", H::time_text(ten));
    EXPECT_EQ("2026-12-06T10:15:03Z", H::time_text(ten + 15 * minute + 3 * second + 999));
    EXPECT_EQ("2028-02-29T23:59:59Z", H::time_text(1835395200000 + 24 * hour - 1));
    EXPECT_EQ("1969-12-31T23:59:59Z", H::time_text(-1));
    // What is shown reads back as itself.
    for (const H::time_ms t : {H::time_ms{0}, ten, ten + 86399 * second, H::time_ms{253402300799000}}) {
        std::string why;
        EXPECT_EQ(t, H::parse_time(H::time_text(t), 0, why)) << H::time_text(t);
    }
}

// ---- the commands over known rows ----

const H::switch_ref sw_a{"10:00:00:00:5e:01:00:01", "0x104000", 1};
const H::switch_ref sw_b{"10:00:00:00:5e:01:00:02", "0x108000", 2};
const std::string fab = "127.0.44.2", other_fab = "127.0.44.9";

H::change_row row(H::switch_ref sw, std::string kind, std::string key, std::string before, std::string after,
                  bool shown = true) {
    const std::string scope = kind == "device" ? "" : sw.wwn;
    return {0, 0, "", std::move(sw), scope, std::move(kind), std::move(key), std::move(before), std::move(after), shown};
}

H::event_row event(H::time_ms at, H::switch_ref sw, int unit, int code, int alert, std::string description) {
    return {0, at, fab, std::move(sw), fab + ":5000", unit, code, alert, 25, 10, std::move(description)};
}

const std::string answering = R"({"chassis":2,"fc_address":"0x108000","status":{"code":0,"message":"OK"}})";
const std::string silent = R"({"chassis":2,"fc_address":"0x108000","status":{"code":106,"message":"No response received"}})";
const std::string device = R"({"chassis":1,"fc_address":"0x104701","node_wwn":"20:00:00:00:5e:01:07:01","port":7,"port_wwn":"21:00:00:00:5e:01:07:01"})";

// A folder of the test's own and the URL of an SQLite history in it.
struct history_folder : tvtest::temp_folder {
    std::string url = "sqlite:" + path("history.db");
};

class history_cmds : public ::testing::Test, public history_folder {
protected:
    void record(const std::string& fabric, H::time_ms at, std::vector<H::change_row> rows) {
        for (H::change_row& r : rows) {
            r.at = at;
            r.fabric = fabric;
        }
        H::open_store(url, true)->record(H::reading{fabric, at, std::move(rows)});
    }

    // A fabric's morning: its first reading, a port turned off, a device gone and a zone
    // changed, a switch silent for a reading; and two traps.
    void fill() {
        record(fab, ten, {row({}, "fabric", "", "", R"({"devices":1,"switches":2})")});
        record(fab, ten + 15 * minute + 3 * second,
               {row(sw_a, "port", "7", R"({"admin":"on","mfs_mode":4,"operational":"on","port":7,"type":"F_Port"})",
                    R"({"admin":"off","mfs_mode":4,"operational":"off","port":7,"type":"F_Port"})"),
                row(sw_a, "attached", "7", R"({"logged_in":true})", R"({"logged_in":false})", false)});
        record(fab, ten + 20 * minute + 3 * second,
               {row(sw_a, "device", "21:00:00:00:5e:01:07:01", device, ""),
                row(sw_b, "zone", "hard 3", R"({"enabled":true,"id":3,"ports":[1,2]})",
                    R"({"enabled":true,"id":3,"ports":[1,2,5]})")});
        record(fab, ten + 25 * minute + 3 * second, {row(sw_b, "switch", "", answering, silent)});
        record(fab, ten + 30 * minute + 3 * second, {row(sw_b, "switch", "", silent, answering)});
        record(other_fab, ten, {row({}, "fabric", "", "", R"({"devices":0,"switches":1})")});
        const auto s = H::open_store(url, true);
        s->record(event(ten + 16 * minute + 40 * second, sw_a, 3, 11, 0, "Fibre Port CRC Error"));
        s->record(event(ten + 26 * minute, sw_b, 1, 2, 1, "Overheat Threshold Failure"));
    }

    // Runs the tool with the test's database unless `a` names one; TELVAR_DB is cleared.
    tvtest::tool_result telvar(args a, std::vector<std::string> env = {}) const {
        env.emplace_back("TELVAR_DB=");  // after the caller's, which take precedence
        return tvtest::run_tool(TELVAR_BIN, a, env);
    }
    tvtest::tool_result read(args a) const {
        a.insert(a.end(), {"--db", url});
        return telvar(a);
    }
    // The KEY column of each line of a history.
    static std::vector<std::string> keys(const std::string& out) {
        std::vector<std::string> k;
        for (const std::string& line : tvtest::lines_of(out)) {
            std::istringstream words(line);
            std::string w;
            for (int i = 0; i < 5; ++i) words >> w;
            k.push_back(w == "hard" ? "hard 3" : w);
        }
        return k;
    }
};

TEST_F(history_cmds, lines_in_aligned_columns_say_what_changed_in_words) {
    fill();
    auto r = read({"history", fab});
    EXPECT_EQ(0, r.status) << r.err;
    EXPECT_EQ("", r.err);
    EXPECT_EQ(
        "2026-12-06T10:00:00Z  127.0.44.2  -         fabric  -                        first reading: 2 switches, 1 device\n"
        "2026-12-06T10:15:03Z  127.0.44.2  0x104000  port    7                        admin on, operational on -> admin off, operational off\n"
        "2026-12-06T10:20:03Z  127.0.44.2  0x104000  device  21:00:00:00:5e:01:07:01  logged out from chassis 1 port 7 (0x104701)\n"
        "2026-12-06T10:20:03Z  127.0.44.2  0x108000  zone    hard 3                   ports 1 2 -> ports 1 2 5\n"
        "2026-12-06T10:25:03Z  127.0.44.2  0x108000  switch  -                        stopped answering: No response received\n"
        "2026-12-06T10:30:03Z  127.0.44.2  0x108000  switch  -                        answers again\n",
        r.out);
    r = read({"events", fab});
    EXPECT_EQ(0, r.status) << r.err;
    EXPECT_EQ(
        "2026-12-06T10:16:40Z  127.0.44.2  0x104000  port 3  11 Fibre Port CRC Error       rising   value 25 change 10\n"
        "2026-12-06T10:26:00Z  127.0.44.2  0x108000  -       2 Overheat Threshold Failure  falling  value 25 change 10\n",
        r.out);
    // Every fabric, the other one's first reading among them; a thing that appeared: "—".
    r = read({"history"});
    EXPECT_NE(std::string::npos, r.out.find("127.0.44.9  -         fabric  -                        first reading: 1 switch, 0 devices\n")) << r.out;
    record(fab, ten + 40 * minute, {row(sw_b, "zone", "hard 4", "", R"({"enabled":false,"id":4,"ports":[]})")});
    r = read({"history", "--since", "2026-12-06T10:40Z", fab});
    EXPECT_EQ("2026-12-06T10:40:00Z  127.0.44.2  0x108000  zone  hard 4  \u2014 -> enabled false, id 4, ports none\n", r.out);
}

// How the command line names times, switches and kinds; what each narrows to is the store's
// (history_store_test).
TEST_F(history_cmds, times_switches_kinds_and_fabrics_narrow_the_rows) {
    fill();
    using K = std::vector<std::string>;
    // --since and --until take their own times, in any zone.
    EXPECT_EQ((K{"21:00:00:00:5e:01:07:01", "hard 3", "-"}),
              keys(read({"history", "--since", "2026-12-06T11:20:03+01:00", "--until", "2026-12-06T10:25:03Z", fab}).out));
    // A switch by its chassis number, its FC address with or without 0x, its WWN with or without colons.
    for (const char* a : {"1", "0x104000", "104000", "10:00:00:00:5e:01:00:01", "100000005E010001"})
        EXPECT_EQ((K{"7", "21:00:00:00:5e:01:07:01"}), keys(read({"history", "--switch", a, fab}).out)) << a;
    // Kinds, repeated or joined by commas; the rows kept only to rebuild the past when asked for.
    EXPECT_EQ((K{"7", "hard 3"}), keys(read({"history", "--kind", "port,zone", fab}).out));
    EXPECT_EQ((K{"7", "hard 3"}), keys(read({"history", "--kind", "zone", "--kind", "port", fab}).out));
    const auto attached = read({"history", "--kind", "attached", fab});
    EXPECT_EQ((K{"7"}), keys(attached.out));
    EXPECT_NE(std::string::npos, attached.out.find("logged_in true -> logged_in false")) << attached.out;
    // Events take the same times and switches.
    const auto e = read({"events", "--switch", "0x108000", "--since", "2026-12-06"});
    EXPECT_EQ(0, e.status);
    EXPECT_NE(std::string::npos, e.out.find("Overheat")) << e.out;
    EXPECT_EQ(std::string::npos, e.out.find("CRC")) << e.out;

    // Nothing found is no failure: a note on standard error.
    auto r = read({"history", "--since", "2030-01-01", "--kind", "port", fab});
    EXPECT_EQ(0, r.status);
    EXPECT_EQ("", r.out);
    EXPECT_EQ("telvar: history: no changes recorded in 127.0.44.2 of kind port since 2030-01-01T00:00:00Z\n", r.err);
    r = read({"events", "--switch", "3"});
    EXPECT_EQ(0, r.status);
    EXPECT_EQ("telvar: events: no events recorded for chassis 3\n", r.err);
}

// The database libraries (6 MB of memory with libpq's) load only in the program of the history
// commands, which telvar starts in its place: never for the tool's other commands.
TEST(history_program, telvar_itself_loads_no_database_library) {
    const auto r = tvtest::run_tool("/usr/bin/ldd", {TELVAR_BIN});
    ASSERT_EQ(0, r.status) << r.err;
    EXPECT_EQ(std::string::npos, r.out.find("libpq")) << r.out;
    EXPECT_EQ(std::string::npos, r.out.find("libsqlite3")) << r.out;
}

// Spans count back from the moment the tool runs.
TEST_F(history_cmds, spans_count_back_from_now) {
    record("127.0.44.3", H::now_ms() - 30 * minute, {row(sw_a, "port", "2", R"({"admin":"on"})", R"({"admin":"off"})")});
    EXPECT_EQ(std::vector<std::string>{"2"}, keys(read({"history", "--since", "1h"}).out));
    EXPECT_EQ("", read({"history", "--since", "10m", "--until", "now"}).out);
}

TEST_F(history_cmds, json_documents_carry_the_rows_and_validate_against_the_schema) {
    fill();
    auto h = read({"--json", "history", "--since", "2026-12-06T10:15Z", "--kind", "port,switch,attached", fab});
    ASSERT_EQ(0, h.status) << h.err;
    EXPECT_EQ("", h.err);
    const json doc = json::parse(h.out);
    EXPECT_EQ(doc.dump(2) + "\n", h.out);  // written row by row, in the form of every document
    EXPECT_EQ("telvar-history", doc["format"]);
    EXPECT_EQ("2026-12-06T10:15:00Z", doc["since"]);
    ASSERT_EQ(4u, doc["changes"].size());
    const json& port = doc["changes"][0];
    EXPECT_EQ((json{{"wwn", sw_a.wwn}, {"fc_address", "0x104000"}, {"chassis", 1}}), port["switch"]);
    EXPECT_EQ("off", port["after"]["admin"]);
    EXPECT_EQ("admin on, operational on -> admin off, operational off", port["text"]);
    // A fabric's own row has no switch; a thing that was not there is null.
    const json first = json::parse(read({"--json", "history", "--kind", "fabric", fab}).out)["changes"][0];
    EXPECT_TRUE(first["switch"].is_null() && first["before"].is_null());
    const auto e = read({"events", fab, "--json"});
    EXPECT_EQ("rising", json::parse(e.out)["events"][0]["alert"]);
    // An empty answer is a document too, and says nothing on standard error.
    const auto none = read({"--json", "events", "--since", "2030-01-01"});
    EXPECT_EQ("", none.err);
    EXPECT_EQ(json::parse(none.out).dump(2) + "\n", none.out);
    EXPECT_EQ(json::array(), json::parse(none.out)["events"]);

    std::ofstream(path("h.json")) << h.out;
    std::ofstream(path("f.json")) << read({"--json", "history", "--kind", "fabric,device,zone", fab}).out;
    std::ofstream(path("e.json")) << e.out;
    std::ofstream(path("none.json")) << none.out;
    const auto checked = tvtest::run_tool("/usr/bin/python3",
                                          {TELVAR_SOURCE_DIR "/tests/validate_json.py", TELVAR_SOURCE_DIR "/docs/telvar.schema.json",
                                           "history=" + path("h.json"), "history=" + path("f.json"), "events=" + path("e.json"),
                                           "events=" + path("none.json")});
    if (checked.status == 77 || checked.status == 127) GTEST_SKIP() << "python3-jsonschema is not installed";
    EXPECT_EQ(0, checked.status) << checked.out << checked.err;
}

// Every refusal is one line naming what is accepted: 1 for the command line, 2 for the database.
TEST_F(history_cmds, bad_times_switches_kinds_fabrics_and_databases_are_refused_clearly) {
    fill();
    struct refusal {
        args line;
        std::string starts;
    };
    const std::vector<refusal> cases{
        {{"history", "--since", "yesterday"}, "telvar: history: --since: 'yesterday' is not a time: give an ISO 8601 time"},
        {{"events", "--until", "2026-02-30"}, "telvar: events: --until: '2026-02-30' is not a time (no day 30 in that month)"},
        {{"history", "--since", "2026-12-07", "--until", "2026-12-06"},
         "telvar: history: --since 2026-12-07T00:00:00Z is after --until 2026-12-06T00:00:00Z"},
        {{"history", "--switch", "0xZZ"},
         "telvar: history: --switch: '0xZZ' is not a chassis number (0 to 63), an FC address (0x104000) or a WWN"},
        {{"events", "--switch", "99"}, "telvar: events: --switch: '99' is not a chassis number"},
        {{"events", "--switch", "0x3f00"}, "telvar: events: --switch: '0x3f00' is not a chassis number"},
        {{"history", "--kind", "port,ports"},
         "telvar: history: --kind: 'ports' is no kind of row; the kinds are switch, identity, chassis, system, port, link, "
         "route, zone, wwn_zone, ns_zoning, traps, trap_code, device, fabric, attached, initiators\n"},
        {{"history", "10.9.9.9"}, "telvar: history: no fabric '10.9.9.9' in the history; it holds 127.0.44.2, 127.0.44.9\n"},
        {{"snapshot", "--at", "2026-12-06T10:00Z"},
         "telvar: snapshot: the history holds 2 fabrics: name one of 127.0.44.2, 127.0.44.9\n"},
        {{"snapshot", "--at", "soon", fab}, "telvar: snapshot: --at: 'soon' is not a time"},
    };
    tvtest::tool_result r;
    for (const refusal& c : cases) {
        r = read(c.line);
        EXPECT_EQ(1, r.status) << c.line[0] << " " << c.line[1];
        EXPECT_EQ("", r.out);
        EXPECT_TRUE(r.err.starts_with(c.starts)) << r.err;
        EXPECT_EQ(1, std::count(r.err.begin(), r.err.end(), '\n')) << r.err;
    }
    // --db without --at is no snapshot of the past; a fabric's name follows only --at.
    EXPECT_EQ(1, telvar({"snapshot", "--db", url, "127.0.44.2"}).status);
    r = telvar({"snapshot", "127.0.44.2", "extra"});
    EXPECT_EQ(1, r.status);
    EXPECT_TRUE(r.err.starts_with("telvar: snapshot: unexpected argument 'extra'\n    telvar snapshot ")) << r.err;

    // A database that is not there: 2, said plainly.
    r = telvar({"history", "--db", "sqlite:" + path("none.db")});
    EXPECT_EQ(2, r.status);
    EXPECT_NE(std::string::npos, r.err.find(path("none.db"))) << r.err;
    EXPECT_FALSE(fs::exists(path("none.db"))) << "a reader creates nothing";
    // Without --db and TELVAR_DB, telvard's default under the user's state folder; when neither
    // it nor the service's exists, where telvard records and how to name another.
    const std::string state = "XDG_STATE_HOME=" + path("state");
    r = telvar({"events"}, {state});
    if (!fs::exists("/var/lib/telvar/history.db")) {
        EXPECT_EQ(2, r.status);
        EXPECT_EQ("telvar: events: no history at " + path("state") + "/telvar/history.db nor at /var/lib/telvar/history.db: "
                  "telvard records there (by hand, and as a service); name another with --db URL or TELVAR_DB\n",
                  r.err);
    }
    fs::create_directories(path("state/telvar"));
    fs::copy_file(path("history.db"), path("state/telvar/history.db"));
    r = telvar({"events", fab}, {state});
    EXPECT_EQ(0, r.status) << r.err;
    EXPECT_NE(std::string::npos, r.out.find("CRC")) << r.out;
    // TELVAR_DB names it too; --db wins over it.
    r = telvar({"history", "--kind", "zone"}, {"TELVAR_DB=" + url});
    EXPECT_EQ(std::vector<std::string>{"hard 3"}, keys(r.out)) << r.err;
    EXPECT_EQ(2, telvar({"history", "--db", path("none.db")}, {"TELVAR_DB=" + url}).status);
}

// ---- the past rebuilt, against snapshots of the default fabric ----

class history_snapshot : public tvtest::tool_test, public history_folder {
protected:
    history_snapshot() : tool_test(tvtest::addr::history_tool_base, tvtest::local_port::environment) {}

    // Takes a snapshot into `file` and records it at `at` as the watcher records a reading.
    void take_and_record(const std::string& file, H::time_ms at) {
        ASSERT_EQ(0, telvar({"snapshot", "-o", path(file), ip}).status);
        const json doc = json::parse(tvtest::read_file(path(file)));
        const auto s = H::open_store(url, true);
        s->record(H::changes_since(s->items(ip), doc, ip, at));
    }
    tvtest::tool_result at(const std::string& t, const std::string& file, args more = {}) {
        args a{"snapshot", "--at", t, "--db", url, "-o", path(file)};
        a.insert(a.end(), more.begin(), more.end());
        return telvar(a);
    }

    const std::string ip = tvtest::addr::history_tool_base;
};

TEST_F(history_snapshot, the_fabric_at_a_time_between_readings_is_the_snapshot_taken_then) {
    take_and_record("then.json", ten);
    ok({"port_state", "-y", "-s", "off", ip, "2"});
    take_and_record("now.json", ten + hour);

    // The one fabric of the history need not be named. (That the fabric rebuilt equals the
    // snapshot taken then is watcher_test's, on both stores.)
    auto r = at("2026-12-06T10:30Z", "at-then.json");
    ASSERT_EQ(0, r.status) << r.err;
    EXPECT_FALSE(fs::exists(path("at-then.json.partial")));
    r = at("2026-12-06T11:00:00Z", "at-now.json", {ip});
    ASSERT_EQ(0, r.status) << r.err;
    const auto d = telvar({"diff", path("at-then.json"), path("at-now.json")});
    EXPECT_EQ(1, d.status);
    EXPECT_NE(std::string::npos, d.out.find("port 2: admin on -> off")) << d.out;
    // The document is the snapshot's, to standard output without -o.
    const auto out = telvar({"snapshot", "--at", "2026-12-06T10:30Z", "--db", url});
    EXPECT_EQ(0, out.status);
    EXPECT_EQ(tvtest::read_file(path("at-then.json")), out.out);
    const json doc = json::parse(out.out);
    EXPECT_EQ("telvar-snapshot", doc["format"]);
    EXPECT_EQ(ip, doc["source"]);
    EXPECT_EQ("2026-12-06T10:00:00Z", doc["taken_at"]);  // the reading it stands on

    // Before the first reading there is nothing to rebuild.
    r = at("2026-12-06T09:00Z", "before.json");
    EXPECT_EQ(2, r.status);
    EXPECT_NE(std::string::npos, r.err.find("no reading of " + ip + " at or before 2026-12-06T09:00:00Z")) << r.err;
    EXPECT_FALSE(fs::exists(path("before.json")));
    EXPECT_FALSE(fs::exists(path("before.json.partial")));
}

}  // namespace
