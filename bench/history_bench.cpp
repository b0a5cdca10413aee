// The history store (history/) over SQLite and over a PostgreSQL server started here: what an
// unchanged fabric of 10,000 devices costs on disk per reading, and the time to store a reading
// in which 1,000 of those devices changed. The section's floor is the database's own, measured
// in the same run through the same connection: the same 1,000 rows inserted in one
// transaction into a table without indexes. The store does more (indexes, the reading's row,
// the items each row updates); the ratio says how much.
#include <sys/stat.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>

#include "bench_main.h"
#include "history/connection.h"
#include "history/store.h"
#include "support/postgres_server.h"
#include "udp_echo.h"

namespace bench {

namespace {

namespace fs = std::filesystem;
using namespace telvar::history;
using clock = std::chrono::steady_clock;

constexpr int devices = 10000, switches = 12, items_per_switch = 40, changed = 1000;
constexpr int unchanged_readings = 100, repeats = 7;
// A hundred readings may fit in the free room of pages already there: the cost per reading is
// measured over this many more.
constexpr int many_readings = 2000;

std::string wwn(int prefix, int n) {
    char text[32];
    std::snprintf(text, sizeof text, "%02x:00:00:e0:8b:%02x:%02x:%02x", prefix, (n >> 16) & 0xff, (n >> 8) & 0xff,
                  n & 0xff);
    return text;
}

// A name-server object as the snapshot documents hold one, about 250 bytes.
std::string device_value(int d, int generation) {
    char text[512];
    std::snprintf(text, sizeof text,
                  R"({"wwpn":"%s","wwnn":"%s","fc_address":"0x%06x","switch":"%s","port":%d,)"
                  R"("alpa":%d,"cos":["class 2","class 3"],"fc4_types":["scsi-fcp"],)"
                  R"("symbolic_name":"host %d adapter port %d, firmware 5.%d.3"})",
                  wwn(0x21, d).c_str(), wwn(0x20, d).c_str(), 0x100000 | (d % switches) << 14 | (d % 16) << 8,
                  wwn(0x10, d % switches).c_str(), d % 16 + 1, d % 126, d / 4, d % 4, generation);
    return text;
}

change_row device_row(int d, int before, int after) {
    change_row r;
    r.kind = "device";
    r.key = wwn(0x21, d);
    r.before = before < 0 ? "" : device_value(d, before);
    r.after = device_value(d, after);
    return r;
}

// Everything a first reading stores: the devices, and the switches' ports, links and the rest.
reading first_reading() {
    reading r{"127.0.0.2", 1'000'000, {}};
    for (int d = 0; d < devices; ++d) r.changes.push_back(device_row(d, -1, 0));
    for (int s = 0; s < switches; ++s)
        for (int i = 0; i < items_per_switch; ++i) {
            change_row c;
            c.sw = {wwn(0x10, s), "0x10" + std::to_string(s) + "000", s};
            c.scope = c.sw.wwn;
            c.kind = "port";
            c.key = std::to_string(i + 1);
            c.after = R"({"type":"F_Port","state":"online","admin":"on","mfs":"on","loop":"off","speed":"2G"})";
            r.changes.push_back(std::move(c));
        }
    return r;
}

double ms_since(clock::time_point start) {
    return std::chrono::duration<double, std::milli>(clock::now() - start).count();
}

// The floor: the rows of one changed reading, inserted by themselves in one transaction.
double floor_ms(connection& c, const reading& rows) {
    c.run("CREATE TABLE floor_rows (at BIGINT, kind TEXT, key TEXT, before TEXT, after TEXT)");
    std::vector<double> runs;
    for (int r = 0; r < repeats; ++r) {
        const auto start = clock::now();
        transaction t(c);
        for (const change_row& ch : rows.changes) {
            const param p[] = {rows.at, ch.kind, ch.key, ch.before, ch.after};
            c.run("INSERT INTO floor_rows (at, kind, key, before, after) VALUES ($1, $2, $3, $4, $5)", p);
        }
        t.commit();
        runs.push_back(ms_since(start));
    }
    c.run("DROP TABLE floor_rows");
    return median(runs);
}

void measure(const char* name, const std::string& url, const std::function<double()>& size_bytes) {
    char what[96];
    const reading first = first_reading();
    auto w = open_store(url, true);
    auto start = clock::now();
    w->record(first);
    const double first_ms = ms_since(start);
    w.reset();  // SQLite folds its WAL back into the file as the writer closes
    const double before = size_bytes();

    const auto unchanged = [&](int from, int to) {
        auto u = open_store(url, true);
        for (int i = from; i <= to; ++i) u->record(reading{first.fabric, first.at + i * 60'000, {}});
    };
    unchanged(1, unchanged_readings);
    const double growth = size_bytes() - before;
    unchanged(unchanged_readings + 1, unchanged_readings + many_readings);
    const double per_reading = (size_bytes() - before - growth) / many_readings;

    w = open_store(url, true);
    std::vector<reading> changes;
    for (int r = 0; r < repeats; ++r) {
        reading one{first.fabric, first.at + (unchanged_readings + many_readings + 1 + r) * 60'000, {}};
        for (int d = r * changed; d < (r + 1) * changed; ++d) one.changes.push_back(device_row(d, 0, 1));
        changes.push_back(std::move(one));
    }
    const double floor = floor_ms(*connect(url, true), changes.front());
    std::snprintf(what, sizeof what, "floor (history %s): 1,000 rows, no index", name);
    std::printf("%-48s %10.2f ms\n", what, floor);
    std::vector<double> runs;
    for (const reading& one : changes) {
        start = clock::now();
        w->record(one);
        runs.push_back(ms_since(start));
    }
    const double changed_ms = median(runs);

    std::snprintf(what, sizeof what, "history %s: first reading, %zu rows", name, first.changes.size());
    std::printf("%-48s %10.2f ms   database %.0f kB\n", what, first_ms, before / 1000);
    std::snprintf(what, sizeof what, "history %s: %d unchanged readings, growth", name, unchanged_readings);
    // Against the readings' own content: two 8-byte integers each.
    const double raw = unchanged_readings * 16.0;
    std::printf("%-48s %10.2f kB   ratio %.1f to their %.1f kB of times (goal < 100 kB)%s\n", what, growth / 1000,
                growth / raw, raw / 1000, growth < 100'000 ? "" : "  ABOVE GOAL");
    std::snprintf(what, sizeof what, "history %s: %d more, growth per 100", name, many_readings);
    std::printf("%-48s %10.2f kB   ratio %.1f to their %.1f kB of times (goal < 100 kB)%s\n", what,
                per_reading * 100 / 1000, per_reading / 16, raw / 1000, per_reading * 100 < 100'000 ? "" : "  ABOVE GOAL");
    std::snprintf(what, sizeof what, "history %s: reading, 1,000 of %d devices changed", name, devices);
    std::printf("%-48s %10.2f ms   ratio %.2f to the floor (goal < 50 ms)%s\n", what, changed_ms, changed_ms / floor,
                changed_ms < 50 ? "" : "  ABOVE GOAL");
}

}  // namespace

void run_history_bench(report&) {
    std::string pattern = (fs::temp_directory_path() / "telvar-bench-history.XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
        std::printf("%-48s %10s\n", "history: NO TEMPORARY FOLDER", "");
        return;
    }
    const std::string file = pattern + "/history.db";
    try {
        measure("sqlite", "sqlite:" + file, [&] {
            struct stat st{};
            return ::stat(file.c_str(), &st) == 0 ? static_cast<double>(st.st_size) : 0.0;
        });
    } catch (const store_error& e) {
        std::printf("history sqlite: FAILED: %s\n", e.what());
    }
    fs::remove_all(pattern);

    tvtest::postgres_server server;
    const std::string url = server.new_database("bench");
    if (url.empty()) {
        std::printf("history postgresql: NO SERVER: %s\n", server.error().c_str());
        return;
    }
    try {
        measure("postgresql", url, [&] {
            double size = 0;
            connect(url, false)->run("SELECT pg_database_size(current_database())", {},
                                     [&](const result_row& r) { size = static_cast<double>(r.integer(0)); });
            return size;
        });
    } catch (const store_error& e) {
        std::printf("history postgresql: FAILED: %s\n", e.what());
    }
}

}  // namespace bench
