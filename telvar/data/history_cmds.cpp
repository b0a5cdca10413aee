// history, events and snapshot --at: the fabric history that telvard records, read back.
//
// The database is the one --db names, else TELVAR_DB, else the default of the user who runs the
// tool; when that does not exist but the service's does (/var/lib/telvar/history.db), the
// service's, since a person at a terminal most often wants to read what the service recorded.
// Times are typed as history/time_text.h says; a switch by chassis number, FC address or WWN.
// Exit statuses as the other data commands: 0 done (no rows found included), 1 a refused
// command line (a time, a switch, a kind or a fabric that cannot be), 2 the database failed.
#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <memory>

#include "history/fabric_items.h"
#include "history/store.h"
#include "history/time_text.h"
#include "telvar/cli/given_options.h"
#include "telvar/data/data_cmds.h"
#include "telvar/data/fabric_snapshot.h"
#include "telvar/data/history_filters.h"
#include "telvar/data/history_rows.h"
#include "telvar/framework/option_loop.h"

namespace telvar::data {

namespace {

namespace J = telvar::json;

constexpr const char* service_database = "/var/lib/telvar/history.db";

bool file_exists(const std::string& path) {
    struct stat st{};
    return ::stat(path.c_str(), &st) == 0;
}

// The path of a "sqlite:" URL, or empty for another kind of URL.
std::string sqlite_path(const std::string& url) {
    return url.starts_with("sqlite:") ? url.substr(7) : std::string();
}

// Where the history is, by the rule at the top; empty after telling why there is none.
std::string database_url(const char* command) {
    if (const char* db = option_value("--db")) return db;
    if (const char* env = std::getenv("TELVAR_DB"); env != nullptr && *env != '\0') return env;
    const std::string mine = history::default_url();
    if (file_exists(sqlite_path(mine))) return mine;
    if (file_exists(service_database)) return std::string("sqlite:") + service_database;
    complain(command, "no history at " + sqlite_path(mine) + " nor at " + service_database +
                          ": telvard records there (by hand, and as a service); name another with --db URL or TELVAR_DB");
    return {};
}

// The history opened for reading; null after telling why (exit status 2).
std::unique_ptr<history::store> open_history(const char* command) {
    const std::string url = database_url(command);
    if (url.empty()) return nullptr;
    try {
        return history::open_store(url, false);
    } catch (const history::store_error& e) {
        complain(command, e.what());
        return nullptr;
    }
}

// The times of --since and --until (and --at), spans counted back from one `now`.
class typed_times {
public:
    explicit typed_times(const char* command) : command_(command) {}
    // False after telling why the text of `option` is no time.
    bool read(const char* option, std::optional<history::time_ms>& into) {
        const char* text = option_value(option);
        if (text == nullptr) return true;
        std::string why;
        into = history::parse_time(text, now_, why);
        if (!into) complain(command_, std::string(option) + ": " + why);
        return into.has_value();
    }

private:
    const char* command_;
    history::time_ms now_ = history::now_ms();
};

bool read_switch(const char* command, history::query& q) {
    const char* given = option_value("--switch");
    std::string why;
    if (given == nullptr || read_switch_filter(given, q, why)) return true;
    complain(command, "--switch: " + why);
    return false;
}

bool read_kinds(const char* command, history::query& q) {
    std::string why;
    for (const char* given : option_values("--kind"))
        if (!read_kind_filter(given, q, why)) {
            complain(command, "--kind: " + why);
            return false;
        }
    return true;
}

std::string listed(const std::vector<std::string>& names) {
    std::string out;
    for (const std::string& n : names) out += (out.empty() ? "" : ", ") + n;
    return out;
}

// Whether the history holds the fabric; says which it holds when it does not.
bool known_fabric(const char* command, history::store& s, const std::string& fabric) {
    const std::vector<std::string> held = s.fabrics();
    if (std::ranges::find(held, fabric) != held.end()) return true;
    complain(command, held.empty() ? "the history holds no fabric yet"
                                   : "no fabric '" + fabric + "' in the history; it holds " + listed(held));
    return false;
}

// The query of the command line; false after telling why it cannot be (exit status 1).
bool read_query(const char* command, int32_t argc, char** argv, history::query& q) {
    typed_times times(command);
    if (!times.read("--since", q.since) || !times.read("--until", q.until) || !read_switch(command, q)) return false;
    if (q.since && q.until && *q.since > *q.until) {
        complain(command, "--since " + history::time_text(*q.since) + " is after --until " + history::time_text(*q.until));
        return false;
    }
    if (argc == 1) q.fabric = argv[0];
    return true;
}

// What a query asked for, as the note of an empty answer says it.
std::string asked(const history::query& q) {
    std::string out;
    if (!q.fabric.empty()) out += " in " + q.fabric;
    if (!q.switch_wwn.empty()) out += " for switch " + q.switch_wwn;
    if (!q.switch_fc.empty()) out += " for switch " + q.switch_fc;
    if (q.chassis) out += " for chassis " + std::to_string(*q.chassis);
    if (!q.kinds.empty()) out += " of kind " + listed(q.kinds);
    if (q.since) out += " since " + history::time_text(*q.since);
    if (q.until) out += " until " + history::time_text(*q.until);
    return out;
}

// Runs a reading command: the query, the database, the rows, then the document or the lines.
template <class Row>
int32_t read_rows(const char* command, const char* format, const char* list, const char* nothing, int32_t argc,
                  char** argv, bool kinds, std::vector<Row> (history::store::*rows_of)(const history::query&)) {
    parse_options(argc, argv);
    if (argc > 1) usage();
    history::query q;
    if (!read_query(command, argc, argv, q) || (kinds && !read_kinds(command, q))) return exit_status::command_line;
    const auto s = open_history(command);
    if (!s) return exit_status::failure;
    std::vector<Row> rows;
    try {
        if (!q.fabric.empty() && !known_fabric(command, *s, q.fabric)) return exit_status::command_line;
        rows = ((*s).*rows_of)(q);
    } catch (const history::store_error& e) {
        complain(command, e.what());
        return exit_status::failure;
    }
    if (json_wanted()) {
        json head = {{"format", format}, {"version", 1}};
        if (q.since) head["since"] = history::time_text(*q.since);
        if (q.until) head["until"] = history::time_text(*q.until);
        print_json_list(head, list, rows.size(), [&](std::size_t i) { return render(rows[i], row_form::document).doc; });
    } else if (rows.empty()) {
        complain(command, std::string(nothing) + asked(q));
    } else {
        std::vector<rendered_row> rendered;
        rendered.reserve(rows.size());
        for (Row& r : rows) {
            rendered.push_back(render(r, row_form::text));
            r = Row{};  // what is rendered is kept once
        }
        const std::string text = aligned(rendered);
        std::fwrite(text.data(), 1, text.size(), stdout);
    }
    return exit_status::done;
}

}  // namespace

// history [--since T] [--until T] [--switch S] [--kind K]... [--db URL] [FABRIC]
int32_t history(int32_t argc, char** argv) {
    return read_rows<history::change_row>("history", "telvar-history", "changes", "no changes recorded", argc, argv,
                                          true, &history::store::changes);
}

// events [--since T] [--until T] [--switch S] [--db URL] [FABRIC]
int32_t events(int32_t argc, char** argv) {
    return read_rows<history::event_row>("events", "telvar-events", "events", "no events recorded", argc, argv, false,
                                         &history::store::events);
}

// snapshot --at T [--db URL] [-o FILE] [FABRIC]: the fabric rebuilt as it stood at T.
int32_t snapshot_at(const char* at, const char* file, int32_t argc, char** argv) {
    std::string why;
    const auto t = history::parse_time(at, history::now_ms(), why);
    if (!t) {
        complain("snapshot", "--at: " + why);
        return exit_status::command_line;
    }
    const auto s = open_history("snapshot");
    if (!s) return exit_status::failure;
    json doc;
    try {
        std::string fabric;
        if (argc == 1) {
            fabric = argv[0];
            if (!known_fabric("snapshot", *s, fabric)) return exit_status::command_line;
        } else {
            const std::vector<std::string> held = s->fabrics();
            if (held.size() != 1) {
                complain("snapshot", held.empty() ? "the history holds no fabric yet"
                                                  : "the history holds " + std::to_string(held.size()) +
                                                        " fabrics: name one of " + listed(held));
                return held.empty() ? exit_status::failure : exit_status::command_line;
            }
            fabric = held.front();
        }
        doc = history::rebuild(*s, fabric, *t);
        if (!doc.contains("source")) doc["source"] = fabric;
        if (!doc.contains("taken_at")) doc["taken_at"] = history::time_text(*t);
    } catch (const history::store_error& e) {
        complain("snapshot", e.what());
        return exit_status::failure;
    }
    const int written = write_whole("snapshot", file, [&](std::FILE* out) { return snapshot::write_document(doc, out); });
    return written < 0 ? exit_status::failure : exit_status::done;
}

}  // namespace telvar::data
