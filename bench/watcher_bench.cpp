// The watcher's side of a reading of the generated 12-chassis, 10,000-device fabric: comparing
// the snapshot just taken with the last reading's items, and storing what changed, in SQLite.
// An unchanged fabric, 100 times: what it adds to the database. A reading in which 1,000
// devices changed: the comparison and the store, each against the goal of 50 ms for storing a
// reading. Times are also given as ratios to the section's floor (one UDP round trip).
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>

#include "bench_main.h"
#include "history/fabric_items.h"
#include "served_fabric.h"
#include "telvar/data/fabric_snapshot.h"
#include "udp_echo.h"

namespace bench {

namespace {

namespace H = telvar::history;
namespace S = telvar::snapshot::section;
using clock = std::chrono::steady_clock;

double ms_since(clock::time_point start) {
    return std::chrono::duration<double, std::milli>(clock::now() - start).count();
}

double file_bytes(const std::string& path) {
    struct stat st{};
    return ::stat(path.c_str(), &st) == 0 ? static_cast<double>(st.st_size) : 0.0;
}

}  // namespace

void run_watcher_bench(report& out) {
    const auto served = serve_generated({12, 10000}, addresses::watch_fabric);
    if (!served) return;
    double floor_us = 0;
    {
        const echo_process echo(addresses::watch_echo, 5000);
        floor_us = section_floor_us(out, "watcher", echo);
    }
    Discover = 0;
    tv_context* ctx = tv_open(addresses::watch_fabric);
    if (ctx == nullptr) return;
    auto start = clock::now();
    const H::json doc = telvar::snapshot::take(ctx, addresses::watch_fabric, S::all & ~S::counters);
    out.line("watcher: reading of 12 chassis, 10000 devices", ms_since(start), "ms");
    tv_close(ctx);

    std::string folder = (std::filesystem::temp_directory_path() / "telvar-bench-watcher.XXXXXX").string();
    if (::mkdtemp(folder.data()) == nullptr) return;
    const std::string file = folder + "/history.db";
    {
        auto store = H::open_store("sqlite:" + file, true);
        start = clock::now();
        store->record(H::changes_since({}, doc, "bench", 1000));
        out.line("watcher: first reading compared and stored", ms_since(start), "ms");
    }
    const double first_bytes = file_bytes(file);
    {
        auto store = H::open_store("sqlite:" + file, true);
        for (int i = 0; i < 100; ++i) store->record(H::changes_since(store->items("bench"), doc, "bench", 2000 + i));
    }
    const double growth = file_bytes(file) - first_bytes;
    std::printf("%-48s %10.2f kB   (goal < 100 kB)%s\n", "watcher: 100 unchanged readings, growth", growth / 1000,
                growth < 100'000 ? "" : "  ABOVE GOAL");

    H::json changed = doc;
    int n = 0;
    for (H::json& d : changed["name_server"]["devices"])
        if (n++ < 1000) d["port_name"] = "renamed " + std::to_string(n);
    auto store = H::open_store("sqlite:" + file, true);
    const std::vector<H::item> items = store->items("bench");
    start = clock::now();
    const H::reading r = H::changes_since(items, changed, "bench", 5000);
    const double compare_ms = ms_since(start);
    start = clock::now();
    store->record(r);
    const double store_ms = ms_since(start);
    const auto say = [&](const char* what, double ms) {
        std::printf("%-48s %10.2f ms   ratio %.0f to the floor (goal < 50 ms)%s\n", what, ms, ms * 1000 / floor_us,
                    ms < 50 ? "" : "  ABOVE GOAL");
    };
    std::printf("%-48s %10zu rows\n", "watcher: 1000 devices changed, rows", r.changes.size());
    say("watcher: 1000 devices changed, compared", compare_ms);
    say("watcher: 1000 devices changed, stored", store_ms);
    store.reset();
    std::filesystem::remove_all(folder);
}

}  // namespace bench
