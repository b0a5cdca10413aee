// telvard: the fabric watcher. Every interval it reads each fabric it is given and records what
// changed; between readings it records the traps the switches send (see settings.h for how it
// is told what to watch, docs/history.md for what it records).
#include <poll.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdarg>
#include <cstdio>
#include <memory>
#include <mutex>
#include <string_view>

#include "history/store.h"
#include "telvar/cli/credentials.h"
#include "telvard/console/console.h"
#include "telvard/fabric_reading.h"
#include "telvard/readings.h"
#include "telvard/settings.h"
#include "telvard/trap_side.h"

namespace {

namespace H = telvar::history;

// Exit statuses (telvard(8)).
constexpr int stopped = 0, command_line = 1, no_database = 2, unread = 3;

[[gnu::format(printf, 1, 2)]] void say(const char* format, ...) {
    std::fprintf(stderr, "telvard: ");
    va_list args;
    va_start(args, format);
    std::vfprintf(stderr, format, args);
    va_end(args);
    std::fputc('\n', stderr);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 2 && std::string_view(argv[1]) == "--version") {
        std::printf("telvard build %s\n", TELVAR_BUILD_ID);
        return stopped;
    }
    telvard::settings s;
    std::string error;
    bool help = false;
    if (!telvard::parse(argc, argv, s, error, help)) {
        say("%s (telvard --help for usage)", error.c_str());
        return command_line;
    }
    if (help) {
        std::fputs(telvard::usage_text, stdout);
        return stopped;
    }
    telvar::credentials::file logins;
    if (s.credentials && !telvar::credentials::read(*s.credentials, false, logins, error)) {
        say("credentials file %s", error.c_str());
        return command_line;
    }

    std::unique_ptr<H::store> store;
    const std::string url = s.db.empty() ? H::default_url() : s.db;
    try {
        store = H::open_store(url, true);
    } catch (const H::store_error& e) {
        say("%s", e.what());
        return no_database;
    }

    telvard::set_up_library(nullptr);

    // SIGINT and SIGTERM end the wait between readings through a descriptor; a reading under
    // way finishes first, so that no reading is ever half stored.
    sigset_t stop;
    sigemptyset(&stop);
    sigaddset(&stop, SIGINT);
    sigaddset(&stop, SIGTERM);
    sigprocmask(SIG_BLOCK, &stop, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
    const int signals = signalfd(-1, &stop, SFD_CLOEXEC | SFD_NONBLOCK);

    const auto stop_requested = [&] {
        signalfd_siginfo info{};
        return read(signals, &info, sizeof info) == static_cast<ssize_t>(sizeof info);
    };

    // Traps are listened for between readings; a single pass has no time between them.
    std::unique_ptr<telvard::trap_side> traps;
    if (!s.once) {
        try {
            traps = std::make_unique<telvard::trap_side>(s, *store, logins);
        } catch (const std::exception& e) {
            say("cannot listen for traps: %s", e.what());
            return command_line;
        }
    }
    // The library serves one thread at a time: the readings and traps here, and the console's
    // live reads and zoning on its threads, take turns through this lock.
    telvard::console::live_access live;
    live.logins = &logins;
    telvard::console::fabric_views views(s.fabrics);
    // A reading's pictures are drawn after the lock is let go: the console's live reads need not
    // wait for Graphviz.
    const auto publish = [&](const std::string& fabric, const nlohmann::json& snapshot) {
        if (!s.listening) return;
        // A fabric out of reach is shown as it was last seen, every switch marked as not
        // answering, as the history records it: not as a fabric without switches.
        const auto identified = [](const nlohmann::json& doc) {
            for (const auto& sw : doc.value("switches", nlohmann::json::array()))
                if (sw.contains("identity")) return true;
            return false;
        };
        const auto last = views.find(fabric);
        if (identified(snapshot) || last == nullptr || !identified(*last->doc)) {
            views.publish(fabric, snapshot, telvard::now_ms());
            return;
        }
        nlohmann::json doc = *last->doc;
        nlohmann::json status = {{"code", 106}, {"message", "No response received"}};
        for (const auto& sw : snapshot.value("switches", nlohmann::json::array()))
            if (sw.contains("status")) status = sw["status"];
        for (auto& sw : doc["switches"]) sw["status"] = status;
        views.publish(fabric, std::move(doc), telvard::now_ms());
    };
    live.read_now = [&](const std::string& fabric) {
        std::unique_lock<std::timed_mutex> turn(live.library);
        try {
            const telvard::reading_outcome r = telvard::take_reading(*store, fabric, logins.find(fabric));
            turn.unlock();
            publish(fabric, r.snapshot);
            return true;
        } catch (const H::store_error& e) {
            say("%s: the reading was not stored: %s", fabric.c_str(), e.what());
            return false;
        }
    };
    std::unique_ptr<telvard::console::console> console;
    if (s.listening) {
        telvard::console::options o{s.listen_address, s.listen_port, {}, {}, {}};
        if (!telvard::console::read_tokens(s.tokens, o.tokens, error)) {
            say("tokens file %s", error.c_str());
            return command_line;
        }
        if (!s.certificate.empty()) o.tls = http::tls_files{s.certificate, s.key};
        http::start_error why;
        console = telvard::console::console::start(std::move(o), {views, store.get(), live}, why);
        if (!console) {
            say("cannot serve the console on %s:%u: %s", s.listen_address.c_str(), s.listen_port, why.text.c_str());
            return command_line;
        }
        say("console at %s://%s:%u/", s.certificate.empty() ? "http" : "https", s.listen_address.c_str(), console->port());
    }

    const auto finish = [&](int code) {
        if (traps) {
            const std::lock_guard<std::timed_mutex> turn(live.library);
            traps->release();
        }
        return code;
    };

    int status = stopped;
    using clock = std::chrono::steady_clock;
    for (;;) {
        const auto began = clock::now();
        for (const std::string& fabric : s.fabrics) {
            std::unique_lock<std::timed_mutex> turn(live.library);
            nlohmann::json read;
            try {
                telvard::reading_outcome r = telvard::take_reading(*store, fabric, logins.find(fabric));
                if (!r.whole && s.once) status = unread;
                if (s.verbose || r.shown > 0 || !r.whole)
                    say("%s: %zu change%s%s", fabric.c_str(), r.shown, r.shown == 1 ? "" : "s",
                        r.whole ? "" : "; not every switch answered");
                if (traps) traps->after_reading(fabric, r.snapshot);
                read = std::move(r.snapshot);
            } catch (const H::store_error& e) {
                say("%s: the reading was not stored: %s", fabric.c_str(), e.what());
                status = no_database;
            }
            if (traps) traps->drain();
            turn.unlock();
            if (!read.is_null()) publish(fabric, read);
            if (stop_requested()) return finish(stopped);
        }
        if (s.retention_days > 0) {
            try {
                store->forget_before(telvard::now_ms() - H::time_ms{s.retention_days} * 24 * 3600 * 1000);
            } catch (const H::store_error& e) {
                say("forgetting old readings: %s", e.what());
            }
        }
        if (s.once) return status;
        const auto next = began + std::chrono::seconds(s.interval_s);
        for (;;) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(next - clock::now()).count();
            if (left <= 0) break;
            pollfd fds[] = {{signals, POLLIN, 0}, {traps->fd(), POLLIN, 0}};
            if (poll(fds, 2, static_cast<int>(std::min<long long>(left, 60000))) <= 0) continue;
            if (fds[1].revents != 0) {
                const std::lock_guard<std::timed_mutex> turn(live.library);
                traps->drain();
            }
            if (fds[0].revents != 0 && stop_requested()) return finish(stopped);
        }
    }
}
