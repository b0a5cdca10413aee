// The web console that `telvard --listen` serves: its pages (static assets built into the
// program) and their JSON API (docs/console-api.yaml), on the HTTP server of our programs.
//
// The library is single-threaded, and the watcher's main loop reads the fabrics with it; the
// console's handlers run on the server's threads. So everything a page shows comes from data
// that needs no library call (the last readings in fabric_views, the history store, which is
// thread-safe), and only the live port table and the zoning go through the library, under the
// one lock (`live_access::library`) that the watcher's readings take too.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "history/store.h"
#include "http_server/server.h"
#include "telvar/cli/credentials.h"
#include "telvard/console/fabric_views.h"
#include "telvard/console/tokens.h"

namespace telvard::console {

struct live_access {
    // Taken around every use of the library: each reading of a fabric, each live read.
    std::timed_mutex library;
    // How long the port table waits for a reading under way before it answers from the last one.
    std::chrono::milliseconds wait{200};
    const telvar::credentials::file* logins = nullptr;
    // Reads the fabric now, stores the reading in the history and publishes it (takes the lock
    // itself); false when the reading could not be stored.
    std::function<bool(const std::string& fabric)> read_now;
};

// What the routes share.
struct sources {
    fabric_views& views;
    telvar::history::store* store;  // null: no history to show
    live_access& live;
};

struct options {
    std::string address;  // dotted IPv4
    std::uint16_t port = 0;
    std::vector<token> tokens;
    std::optional<http::tls_files> tls;
    http::limits limit{};
};

class console {
public:
    // Serving until destroyed; nullptr, with `error` set, when it cannot listen.
    static std::unique_ptr<console> start(options o, sources s, http::start_error& error);
    // Stops serving: no more connections; the handlers running end first.
    ~console();
    std::uint16_t port() const { return server_->port(); }

private:
    console();
    // In this order: the server, which runs the handlers, goes before what they use.
    std::unique_ptr<sources> sources_;
    std::unique_ptr<class gate> gate_;
    std::unique_ptr<http::server> server_;
};

}  // namespace telvard::console
