// The watcher's console at scale: the generated fabric of 12 chassis and 10,000 devices read
// once into a history and published as telvard publishes a reading (its map drawn then), the
// console serving it in this process. From a warm server, the fabric page: its HTML, its
// assets and every API call it makes (the session, the fabrics, the fabric, its map), one
// after another as a browser's first connection would, alone and with two slow clients holding
// half a request each; then the calls of the other pages that read the whole fabric (a device
// search, the zoning with its lint findings). The median of 15 loads, as a ratio to the
// section's floor against the goal of one second.

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "bench_main.h"
#include "http_get.h"
#include "served_fabric.h"
#include "telvard/console/assets.h"
#include "telvard/console/console.h"
#include "telvard/fabric_reading.h"
#include "telvard/readings.h"
#include "udp_echo.h"

namespace bench {

namespace {

constexpr const char* token = "bench-read-token-0123456789";

// One load of the fabric page; microseconds, or -1 when an answer was not a whole 200.
double page_load_us(int port, const std::vector<std::string>& paths) {
    const std::string auth = std::string("Authorization: Bearer ") + token + "\r\n";
    const auto began = std::chrono::steady_clock::now();
    for (const std::string& p : paths)
        if (const int status = http_get(addresses::console, port, p, 10000, p.starts_with("/api/") ? auth : "").status;
            status != 200) {
            std::fprintf(stderr, "console: GET %s: %d\n", p.c_str(), status);
            return -1;
        }
    return std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - began).count();
}

double median_load_us(int port, const std::vector<std::string>& paths) {
    std::vector<double> runs;
    for (int i = 0; i < 15; ++i) {
        const double us = page_load_us(port, paths);
        if (us < 0) return -1;
        runs.push_back(us);
    }
    std::ranges::sort(runs);
    return runs[runs.size() / 2];
}

}  // namespace

void run_console_bench(report& out) {
    const auto served = serve_generated({12, 10000}, addresses::console_fabric);
    if (!served) return;
    {
        const echo_process echo(addresses::console_echo, 5000);
        section_floor_us(out, "console", echo);
    }
    std::string dir_template = (std::filesystem::temp_directory_path() / "console-bench-XXXXXX").string();
    const std::filesystem::path dir = mkdtemp(dir_template.data());
    {
        const std::string fabric = addresses::console_fabric;
        telvard::set_up_library(nullptr);
        auto store = telvar::history::open_store("sqlite:" + (dir / "history.db").string(), true);
        telvard::console::fabric_views views({fabric});
        telvard::console::live_access live;
        const telvard::reading_outcome r = telvard::take_reading(*store, fabric, nullptr);
        const auto drawn = std::chrono::steady_clock::now();
        views.publish(fabric, r.snapshot, telvard::now_ms());
        out.line("console: a reading published (map drawn)",
                 std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - drawn).count(), "ms");

        telvard::console::options o{addresses::console, 0, {{telvard::console::role::read, token}}, {}, {}};
        http::start_error error;
        const auto server = telvard::console::console::start(std::move(o), {views, store.get(), live}, error);
        if (!server) {
            std::fprintf(stderr, "console: %s\n", error.text.c_str());
            return;
        }
        std::vector<std::string> paths{"/"};
        for (const auto& a : telvard::console::assets()) paths.push_back("/assets/" + std::string(a.name));
        for (const char* api : {"/api/session", "/api/fabrics", "/api/fabric?fabric=", "/api/fabric/map.svg?fabric="})
            paths.push_back(api + std::string(std::string_view(api).ends_with('=') ? fabric : ""));
        page_load_us(server->port(), paths);  // warm
        const double goal = out.floor_us > 0 ? 1e6 / out.floor_us : 0;
        const std::string what = "console: fabric page, " + std::to_string(paths.size()) + " requests";
        out.ratio(what.c_str(), median_load_us(server->port(), paths), goal);
        {
            const std::string half = "GET /api/fabric HTTP/1.1\r\nHost: bench\r\nAuthoriz";
            const half_request a(addresses::console, server->port(), half), b(addresses::console, server->port(), half);
            out.ratio("console: the same, beside 2 slow clients", median_load_us(server->port(), paths), goal);
        }
        // The other pages' calls that read the whole fabric: a device found among 10,000, the
        // zoning with its findings.
        out.ratio("console: a device search by WWN", median_load_us(server->port(), {"/api/devices?fabric=" + fabric + "&q=" +
                      r.snapshot["name_server"]["devices"][9999].value("port_wwn", "")}), goal);
        out.ratio("console: the zoning and its findings", median_load_us(server->port(), {"/api/zoning?fabric=" + fabric}), goal);
    }
    std::filesystem::remove_all(dir);
}

}  // namespace bench
