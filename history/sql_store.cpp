// The store's statements and logic, once for both databases. Statements are written with
// $1-style parameters (the SQLite connection rewrites them); the queries of the tool are
// assembled from fixed fragments, one parameter per filter that is set, so that each filter
// can use an index instead of being tested against every row.
#include "history/sql_store.h"

#include <algorithm>
#include <limits>
#include <map>
#include <mutex>
#include <string_view>
#include <tuple>
#include <vector>

namespace telvar::history {

namespace {

namespace sql {
constexpr std::string_view add_fabric = "INSERT INTO fabrics (name) VALUES ($1) ON CONFLICT (name) DO NOTHING";
constexpr std::string_view fabric_id = "SELECT id FROM fabrics WHERE name = $1";
constexpr std::string_view add_reading = "INSERT INTO readings (fabric, at) VALUES ($1, $2)";
constexpr std::string_view add_change =
    "INSERT INTO changes (fabric, at, switch_wwn, switch_fc, chassis, scope, kind, key, before, "
    "after, shown) VALUES ($1, $2, $3, $4, $5, $6, $7, $8, $9, $10, $11)";
constexpr std::string_view put_item =
    "INSERT INTO items (fabric, scope, kind, key, value) VALUES ($1, $2, $3, $4, $5) "
    "ON CONFLICT (fabric, scope, kind, key) DO UPDATE SET value = excluded.value";
constexpr std::string_view drop_item =
    "DELETE FROM items WHERE fabric = $1 AND scope = $2 AND kind = $3 AND key = $4";
constexpr std::string_view add_event =
    "INSERT INTO events (fabric, at, switch_wwn, switch_fc, chassis, sender, unit, code, alert, "
    "value, change, description) VALUES ($1, $2, $3, $4, $5, $6, $7, $8, $9, $10, $11, $12)";
constexpr std::string_view forget[] = {"DELETE FROM changes WHERE at < $1",
                                       "DELETE FROM events WHERE at < $1",
                                       "DELETE FROM readings WHERE at < $1"};
constexpr std::string_view items =
    "SELECT i.scope, i.kind, i.key, i.value FROM items i JOIN fabrics f ON f.id = i.fabric "
    "WHERE f.name = $1";
constexpr std::string_view fabrics =
    "SELECT f.name FROM fabrics f WHERE EXISTS (SELECT 1 FROM readings r WHERE r.fabric = f.id)";
constexpr std::string_view readings =
    "SELECT r.at FROM readings r JOIN fabrics f ON f.id = r.fabric "
    "WHERE f.name = $1 AND r.at >= $2 AND r.at <= $3 ORDER BY r.at";
// The columns of change_row and event_row, in the order read_change/read_event take them;
// filters follow as " AND ...".
constexpr std::string_view changes =
    "SELECT c.id, c.at, f.name, c.switch_wwn, c.switch_fc, c.chassis, c.scope, c.kind, c.key, "
    "c.before, c.after, c.shown FROM changes c JOIN fabrics f ON f.id = c.fabric WHERE 1 = 1";
constexpr std::string_view events =
    "SELECT c.id, c.at, f.name, c.switch_wwn, c.switch_fc, c.chassis, c.sender, c.unit, c.code, "
    "c.alert, c.value, c.change, c.description FROM events c JOIN fabrics f ON f.id = c.fabric "
    "WHERE 1 = 1";
constexpr std::string_view newest_first = " ORDER BY c.at DESC, c.id DESC";
constexpr std::string_view oldest_first = " ORDER BY c.at, c.id";
}  // namespace sql

switch_ref read_switch(const result_row& r, int first) {
    return {r.text(first), r.text(first + 1), static_cast<int>(r.integer(first + 2))};
}

change_row read_change(const result_row& r) {
    change_row c;
    c.id = r.integer(0);
    c.at = r.integer(1);
    c.fabric = r.text(2);
    c.sw = read_switch(r, 3);
    c.scope = r.text(6);
    c.kind = r.text(7);
    c.key = r.text(8);
    c.before = r.text(9);
    c.after = r.text(10);
    c.shown = r.integer(11) != 0;
    return c;
}

event_row read_event(const result_row& r) {
    event_row e;
    e.id = r.integer(0);
    e.at = r.integer(1);
    e.fabric = r.text(2);
    e.sw = read_switch(r, 3);
    e.sender = r.text(6);
    e.unit = static_cast<int>(r.integer(7));
    e.code = static_cast<int>(r.integer(8));
    e.alert = static_cast<int>(r.integer(9));
    e.value = static_cast<std::int32_t>(r.integer(10));
    e.change = static_cast<std::int32_t>(r.integer(11));
    e.description = r.text(12);
    return e;
}

// A query of the tool as one statement and its parameters.
class select_text {
public:
    explicit select_text(std::string_view base) : sql_(base) {}
    // Appends `before` $N `after`, N being the parameter that `value` becomes.
    void bind(std::string_view before, param value, std::string_view after = "") {
        params_.push_back(value);
        sql_.append(before).append("$").append(std::to_string(params_.size())).append(after);
    }
    void append(std::string_view text) { sql_.append(text); }
    void wrap(std::string_view before, std::string_view after) {
        sql_.insert(0, before);
        sql_.append(after);
    }
    const std::string& text() const { return sql_; }
    std::span<const param> params() const { return params_; }

private:
    std::string sql_;
    std::vector<param> params_;
};

// The filters of a query that changes and events share. Texts bound are views into `q`.
void filter(select_text& s, const query& q) {
    if (q.since) s.bind(" AND c.at >= ", *q.since);
    if (q.until) s.bind(" AND c.at <= ", *q.until);
    if (!q.fabric.empty()) s.bind(" AND f.name = ", q.fabric);
    // A switch matches by any of the names that are set.
    std::string_view joint = " AND (";
    const auto either = [&](std::string_view column, param v) {
        s.bind(std::string(joint).append(column).append(" = "), v);
        joint = " OR ";
    };
    if (!q.switch_wwn.empty()) either("c.switch_wwn", q.switch_wwn);
    if (!q.switch_fc.empty()) either("c.switch_fc", q.switch_fc);
    if (q.chassis) either("c.chassis", std::int64_t{*q.chassis});
    if (joint != " AND (") s.append(")");
}

// The newest `limit` rows, oldest first.
void order(select_text& s, const query& q) {
    if (q.limit == 0) {
        s.append(sql::oldest_first);
        return;
    }
    s.append(sql::newest_first);
    const auto n = static_cast<std::int64_t>(
        std::min<std::size_t>(q.limit, std::numeric_limits<std::int64_t>::max()));
    s.bind(" LIMIT ", n);
    s.wrap("SELECT * FROM (", ") newest ORDER BY at, id");
}

class sql_store final : public store {
public:
    sql_store(std::unique_ptr<connection> c, bool writer) : c_(std::move(c)), writer_(writer) {}

    std::vector<item> items(const std::string& fabric) override {
        const std::lock_guard lock(mutex_);
        std::vector<item> out;
        const param p[] = {fabric};
        c_->run(sql::items, p, [&](const result_row& r) {
            out.push_back({r.text(0), r.text(1), r.text(2), r.text(3)});
        });
        // Byte order, the same from both databases whatever their collation.
        std::sort(out.begin(), out.end(), [](const item& a, const item& b) {
            return std::tie(a.scope, a.kind, a.key) < std::tie(b.scope, b.kind, b.key);
        });
        return out;
    }

    void record(const reading& r) override {
        const std::lock_guard lock(mutex_);
        writing();
        try {
            transaction t(*c_);
            const std::int64_t f = fabric_id(r.fabric);
            const param when[] = {f, r.at};
            c_->run(sql::add_reading, when);
            for (const change_row& ch : r.changes) store_change(f, r.at, ch);
            t.commit();
        } catch (...) {
            ids_.clear();  // a fabric added by the transaction is gone with it
            throw;
        }
    }

    void record(const event_row& e) override {
        const std::lock_guard lock(mutex_);
        writing();
        try {
            transaction t(*c_);
            const param p[] = {fabric_id(e.fabric), e.at, e.sw.wwn, e.sw.fc_address,
                               std::int64_t{e.sw.chassis}, e.sender, std::int64_t{e.unit},
                               std::int64_t{e.code}, std::int64_t{e.alert}, std::int64_t{e.value},
                               std::int64_t{e.change}, e.description};
            c_->run(sql::add_event, p);
            t.commit();
        } catch (...) {
            ids_.clear();
            throw;
        }
    }

    void forget_before(time_ms cutoff) override {
        const std::lock_guard lock(mutex_);
        writing();
        transaction t(*c_);
        const param p[] = {cutoff};
        for (std::string_view statement : sql::forget) c_->run(statement, p);
        t.commit();
    }

    std::vector<std::string> fabrics() override {
        const std::lock_guard lock(mutex_);
        std::vector<std::string> out;
        c_->run(sql::fabrics, {}, [&](const result_row& r) { out.push_back(r.text(0)); });
        std::sort(out.begin(), out.end());
        return out;
    }

    std::vector<time_ms> readings(const std::string& fabric, time_ms from, time_ms to) override {
        const std::lock_guard lock(mutex_);
        std::vector<time_ms> out;
        const param p[] = {fabric, from, to};
        c_->run(sql::readings, p, [&](const result_row& r) { out.push_back(r.integer(0)); });
        return out;
    }

    std::vector<change_row> changes(const query& q) override {
        const std::lock_guard lock(mutex_);
        select_text s(sql::changes);
        filter(s, q);
        if (q.kinds.empty()) {
            s.append(" AND c.shown = 1");
        } else {
            std::string_view joint = " AND c.kind IN (";
            for (const std::string& k : q.kinds) {
                s.bind(joint, k);
                joint = ", ";
            }
            // The parts of a switch that joined or left stay folded into its row; the kinds
            // that are never shown come out when asked for by name.
            s.append(") AND (c.shown = 1 OR c.kind IN ('attached', 'initiators'))");
        }
        order(s, q);
        std::vector<change_row> out;
        c_->run(s.text(), s.params(), [&](const result_row& r) { out.push_back(read_change(r)); });
        return out;
    }

    // Events have no kinds: q.kinds is not theirs to filter by.
    std::vector<event_row> events(const query& q) override {
        const std::lock_guard lock(mutex_);
        select_text s(sql::events);
        filter(s, q);
        order(s, q);
        std::vector<event_row> out;
        c_->run(s.text(), s.params(), [&](const result_row& r) { out.push_back(read_event(r)); });
        return out;
    }

    std::vector<change_row> changes_after(const std::string& fabric, time_ms after) override {
        const std::lock_guard lock(mutex_);
        select_text s(sql::changes);
        s.bind(" AND f.name = ", fabric);
        s.bind(" AND c.at > ", after);
        s.append(sql::newest_first);
        std::vector<change_row> out;
        c_->run(s.text(), s.params(), [&](const result_row& r) { out.push_back(read_change(r)); });
        return out;
    }

private:
    void writing() const {
        if (!writer_) throw store_error(c_->where() + ": opened for reading only");
    }

    // Within the caller's transaction: the fabric's id, the fabric added at its first use.
    std::int64_t fabric_id(const std::string& name) {
        if (const auto it = ids_.find(name); it != ids_.end()) return it->second;
        const param p[] = {name};
        c_->run(sql::add_fabric, p);
        std::int64_t id = -1;
        c_->run(sql::fabric_id, p, [&](const result_row& r) { id = r.integer(0); });
        if (id < 0) throw store_error(c_->where() + ": fabric " + name + " could not be added");
        ids_.emplace(name, id);
        return id;
    }

    // The row is the reading's: its own time and fabric are those of the reading.
    void store_change(std::int64_t f, time_ms at, const change_row& ch) {
        const param row[] = {f, at, ch.sw.wwn, ch.sw.fc_address, std::int64_t{ch.sw.chassis},
                             ch.scope, ch.kind, ch.key, ch.before, ch.after,
                             std::int64_t{ch.shown ? 1 : 0}};
        c_->run(sql::add_change, row);
        if (ch.after.empty()) {
            const param key[] = {f, ch.scope, ch.kind, ch.key};
            c_->run(sql::drop_item, key);
        } else {
            const param value[] = {f, ch.scope, ch.kind, ch.key, ch.after};
            c_->run(sql::put_item, value);
        }
    }

    std::mutex mutex_;  // the threads of a process take turns: one connection, one transaction
    std::unique_ptr<connection> c_;
    bool writer_;
    std::map<std::string, std::int64_t, std::less<>> ids_;
};

}  // namespace

std::unique_ptr<store> make_sql_store(std::unique_ptr<connection> c, bool writer) {
    return std::make_unique<sql_store>(std::move(c), writer);
}

}  // namespace telvar::history
