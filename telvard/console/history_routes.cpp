// The console's history: the changes and the traps telvard recorded, as `telvar history` and
// `telvar events` give them (the same rows, the same filters), and the fabric at two times
// compared as `telvar diff` compares two snapshots.
#include <charconv>

#include "history/fabric_items.h"
#include "history/time_text.h"
#include "telvar/data/fabric_queries.h"
#include "telvar/data/history_filters.h"
#include "telvar/data/history_rows.h"
#include "telvard/console/replies.h"
#include "telvard/console/routes.h"

namespace telvard::console {

namespace H = telvar::history;

namespace {

// A page shows the newest rows; more than this is a question for the tool.
constexpr std::size_t default_rows = 1000, most_rows = 10000;

// The query of a request's parameters; false with the refusal in `refused`.
bool read_query(const sources& s, const http::request& r, bool kinds, H::query& q, http::response& refused) {
    const auto refuse = [&](const std::string& why) {
        refused = error_reply(400, why);
        return false;
    };
    q.fabric = parameter(r, "fabric");
    if (!q.fabric.empty() && !s.views.watched(q.fabric)) return refuse("no fabric " + q.fabric + " is watched");
    const H::time_ms now = H::now_ms();
    std::string why;
    for (const auto& [name, into] : {std::pair{"since", &q.since}, std::pair{"until", &q.until}}) {
        const std::string text = parameter(r, name);
        if (text.empty()) continue;
        *into = H::parse_time(text, now, why);
        if (!*into) return refuse(std::string(name) + ": " + why);
    }
    if (const std::string sw = parameter(r, "switch"); !sw.empty() && !telvar::data::read_switch_filter(sw, q, why))
        return refuse("switch: " + why);
    if (const std::string k = parameter(r, "kind"); kinds && !k.empty() && !telvar::data::read_kind_filter(k, q, why))
        return refuse("kind: " + why);
    q.limit = default_rows;
    if (const std::string l = parameter(r, "limit"); !l.empty()) {
        std::size_t n = 0;
        const auto [end, ec] = std::from_chars(l.data(), l.data() + l.size(), n);
        if (ec != std::errc() || end != l.data() + l.size() || n == 0 || n > most_rows)
            return refuse("limit: a number from 1 to " + std::to_string(most_rows));
        q.limit = n;
    }
    return true;
}

template <class Row>
guarded_handler rows_of(const sources& s, const char* format, const char* list, bool kinds,
                        std::vector<Row> (H::store::*read)(const H::query&)) {
    return [&s, format, list, kinds, read](const http::request& r, const caller&) {
        if (s.store == nullptr) return error_reply(503, "no history database is open");
        H::query q;
        http::response refused;
        if (!read_query(s, r, kinds, q, refused)) return refused;
        json head = {{"format", format}, {"version", 1}};
        if (q.since) head["since"] = H::time_text(*q.since);
        if (q.until) head["until"] = H::time_text(*q.until);
        json rows = json::array();
        try {
            for (const Row& row : ((*s.store).*read)(q)) rows.push_back(telvar::data::render(row, telvar::data::row_form::document).doc);
        } catch (const H::store_error& e) {
            return error_reply(503, e.what());
        }
        head[list] = std::move(rows);
        return json_reply(head);
    };
}

// GET /api/diff?fabric&from[&to]: the fabric rebuilt at both times, compared.
http::response compare(const sources& s, const http::request& r) {
    if (s.store == nullptr) return error_reply(503, "no history database is open");
    const std::string fabric = parameter(r, "fabric");
    if (!s.views.watched(fabric)) return error_reply(fabric.empty() ? 400 : 404, "fabric: give a fabric of /api/fabrics");
    const H::time_ms now = H::now_ms();
    std::string why;
    const std::string from_text = parameter(r, "from"), to_text = parameter(r, "to");
    if (from_text.empty()) return error_reply(400, "from: give a time");
    const auto from = H::parse_time(from_text, now, why);
    if (!from) return error_reply(400, "from: " + why);
    const auto to = to_text.empty() ? std::optional<H::time_ms>(now) : H::parse_time(to_text, now, why);
    if (!to) return error_reply(400, "to: " + why);
    try {
        const json a = H::rebuild(*s.store, fabric, *from), b = H::rebuild(*s.store, fabric, *to);
        const json changes = telvar::data::snapshot_changes(a, b, false);
        return json_reply({{"fabric", fabric}, {"from", H::time_text(*from)}, {"to", H::time_text(*to)},
                           {"equal", changes.empty()}, {"changes", changes}});
    } catch (const H::store_error& e) {
        return error_reply(503, e.what());
    } catch (const json::exception& e) {
        return error_reply(500, std::string("the history holds a value of the wrong kind: ") + e.what());
    }
}

}  // namespace

std::vector<http::route> history_routes(gate& g, const sources& s) {
    return {
        {"GET", "/api/history", g.guard(rows_of(s, "telvar-history", "changes", true, &H::store::changes))},
        {"GET", "/api/events", g.guard(rows_of(s, "telvar-events", "events", false, &H::store::events))},
        {"GET", "/api/diff", g.guard([&s](const http::request& r, const caller&) { return compare(s, r); })},
    };
}

}  // namespace telvard::console
