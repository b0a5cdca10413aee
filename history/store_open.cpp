// Which database a URL names, and where the history is when nothing names one.
#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <string_view>

#include "history/connection.h"
#include "history/schema.h"
#include "history/sql_store.h"
#include "history/store.h"

namespace telvar::history {

namespace {

bool starts_with(std::string_view s, std::string_view prefix) { return s.substr(0, prefix.size()) == prefix; }

// An environment variable's value, or "" when it is unset.
std::string env(const char* name) {
    const char* v = std::getenv(name);
    return v ? v : "";
}

}  // namespace

std::unique_ptr<connection> connect(const std::string& url, bool writer) {
    if (starts_with(url, "postgresql://") || starts_with(url, "postgres://")) return connect_postgres(url);
    std::string path = url;
    if (starts_with(url, "sqlite:")) {
        path = url.substr(7);
    } else if (url.find("://") != std::string::npos) {
        throw store_error(url + ": not a history database URL (sqlite:PATH or postgresql://...)");
    }
    if (path.empty()) throw store_error("\"" + url + "\": no path for the history database");
    return connect_sqlite(path, writer);
}

std::unique_ptr<store> open_store(const std::string& url, bool writer) {
    auto c = connect(url, writer);
    prepare_schema(*c, writer);
    return make_sql_store(std::move(c), writer);
}

std::string default_url() {
    // systemd's StateDirectory=: one or more folders, separated by colons; the first is ours.
    if (const std::string service = env("STATE_DIRECTORY"); !service.empty())
        return "sqlite:" + service.substr(0, service.find(':')) + "/history.db";
    // Only an absolute XDG_STATE_HOME counts (the XDG rules).
    if (const std::string state = env("XDG_STATE_HOME"); starts_with(state, "/"))
        return "sqlite:" + state + "/telvar/history.db";
    std::string home = env("HOME");
    if (home.empty())
        if (const passwd* pw = ::getpwuid(::getuid()); pw != nullptr && pw->pw_dir != nullptr) home = pw->pw_dir;
    return "sqlite:" + home + "/.local/state/telvar/history.db";
}

}  // namespace telvar::history
