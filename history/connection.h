// What the store needs of a database, and no more: statements written once with $1-style
// parameters, run with bound values, rows read back by column; transactions. SQLite and
// PostgreSQL each implement it (sqlite_store.cpp, postgres_store.cpp), so that the schema,
// the statements and the store's logic (sql_store.cpp) exist once for both.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <variant>

namespace telvar::history {

// A value bound to a statement's parameter $N (N counted from 1, in order).
using param = std::variant<std::int64_t, std::string_view>;

// One row of a result, columns counted from 0.
class result_row {
public:
    virtual std::int64_t integer(int column) const = 0;
    virtual std::string text(int column) const = 0;

protected:
    ~result_row() = default;
};

using row_fn = std::function<void(const result_row&)>;

// The connections keep their prepared statements by text, looked up by view.
struct statement_hash {
    using is_transparent = void;
    std::size_t operator()(std::string_view s) const { return std::hash<std::string_view>{}(s); }
};

class connection {
public:
    virtual ~connection() = default;
    // Runs one statement; `each` sees every row it returns. Statements are prepared once per
    // connection and kept. Failures throw store_error, naming where().
    virtual void run(std::string_view sql, std::span<const param> params, const row_fn& each) = 0;
    void run(std::string_view sql, std::span<const param> params = {}) { run(sql, params, row_fn{}); }
    // A write transaction: SQLite takes the write lock at once, so that a writer never fails
    // halfway for want of it.
    virtual void begin() = 0;
    virtual void commit() = 0;
    virtual void rollback() = 0;
    // Whether the database has this table (a database without a schema is no history).
    virtual bool has_table(std::string_view name) = 0;
    // The column type of the tables' generated ids, which the two dialects spell differently.
    virtual std::string_view id_type() const = 0;
    // The database for a person: a path, or the URL without its password.
    virtual const std::string& where() const = 0;
};

// A database's connection as the URL names it (see store.h): a writer creates the SQLite file
// and its folder; a reader finds them or fails.
std::unique_ptr<connection> connect(const std::string& url, bool writer);
std::unique_ptr<connection> connect_sqlite(const std::string& path, bool writer);
std::unique_ptr<connection> connect_postgres(const std::string& url);

// A write transaction that rolls back unless committed.
class transaction {
public:
    explicit transaction(connection& c) : c_(c) { c_.begin(); }
    ~transaction() {
        if (open_) try {
                c_.rollback();
            } catch (...) {  // the error that brought us here is the one to report
            }
    }
    transaction(const transaction&) = delete;
    transaction& operator=(const transaction&) = delete;
    void commit() {
        c_.commit();
        open_ = false;
    }

private:
    connection& c_;
    bool open_ = true;
};

}  // namespace telvar::history
