// The SQLite connection: one file in WAL mode, so that readers read while the one writer
// writes. synchronous=NORMAL: a commit is in the WAL before record() returns, so a writer
// killed at any point loses nothing it committed; a power failure may take back the last
// readings, which the watcher then reads again as changes since the reading before.
#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <unordered_map>

#include "history/connection.h"
#include "history/schema.h"
#include "history/store.h"

namespace telvar::history {

namespace {

// Long enough for any write transaction of the watcher to end.
constexpr int busy_timeout_ms = 10000;

// $N (PostgreSQL's spelling) to ?N (SQLite's, where $N would be a named parameter numbered by
// first use). Our statements hold no '$' of their own.
std::string sqlite_text(std::string_view sql) {
    std::string out(sql);
    for (char& c : out)
        if (c == '$') c = '?';
    return out;
}

class row final : public result_row {
public:
    explicit row(sqlite3_stmt* s) : s_(s) {}
    std::int64_t integer(int column) const override { return sqlite3_column_int64(s_, column); }
    std::string text(int column) const override {
        const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(s_, column));
        return p ? std::string(p, static_cast<std::size_t>(sqlite3_column_bytes(s_, column))) : std::string();
    }

private:
    sqlite3_stmt* s_;
};

// Creates the missing folders of `path`'s parent, for its owner alone.
void make_parents(const std::string& path) {
    for (std::size_t at = path.find('/', 1); at != std::string::npos; at = path.find('/', at + 1)) {
        const std::string folder = path.substr(0, at);
        if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST)
            throw store_error(path + ": cannot create " + folder + ": " + std::strerror(errno));
    }
}

class sqlite_connection final : public connection {
public:
    sqlite_connection(const std::string& path, bool writer) : where_(path) {
        if (writer) {
            make_parents(path);
            // The file is made here so that it is the owner's alone from the start (SQLite
            // gives its WAL and shared-memory files the same mode).
            const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
            if (fd < 0) throw store_error(path + ": " + std::strerror(errno));
            ::close(fd);
        } else {
            struct stat st{};
            if (::stat(path.c_str(), &st) != 0) throw store_error(no_history(path));
        }
        // A reader opens for writing too where it may: the last connection to close folds the
        // WAL back into the file. Where it may not, SQLite opens it for reading.
        sqlite3* db = nullptr;
        const int rc = sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr);
        db_.reset(db);
        if (rc != SQLITE_OK) fail();
        sqlite3_busy_timeout(db_.get(), busy_timeout_ms);
        if (writer) {
            exec("PRAGMA journal_mode = WAL");
            exec("PRAGMA synchronous = NORMAL");
        }
    }

    ~sqlite_connection() override {
        for (auto& [text, s] : cache_) sqlite3_finalize(s);
    }

    sqlite_connection(const sqlite_connection&) = delete;
    sqlite_connection& operator=(const sqlite_connection&) = delete;

    void run(std::string_view sql, std::span<const param> params, const row_fn& each) override {
        sqlite3_stmt* s = prepared(sql);
        // Unbound and reset whatever happens, so that the next use starts clean and no view
        // of the caller's texts outlives the call.
        struct reset {
            sqlite3_stmt* s;
            ~reset() {
                sqlite3_reset(s);
                sqlite3_clear_bindings(s);
            }
        } guard{s};
        int n = 0;
        for (const param& p : params) {
            ++n;
            const int rc = std::holds_alternative<std::int64_t>(p)
                               ? sqlite3_bind_int64(s, n, std::get<std::int64_t>(p))
                               : sqlite3_bind_text64(s, n, std::get<std::string_view>(p).data(),
                                                     std::get<std::string_view>(p).size(),
                                                     SQLITE_STATIC, SQLITE_UTF8);
            if (rc != SQLITE_OK) fail();
        }
        for (;;) {
            const int rc = sqlite3_step(s);
            if (rc == SQLITE_DONE) return;
            if (rc != SQLITE_ROW) fail();
            if (each) each(row(s));
        }
    }

    void begin() override { exec("BEGIN IMMEDIATE"); }
    void commit() override { exec("COMMIT"); }
    void rollback() override { exec("ROLLBACK"); }

    bool has_table(std::string_view name) override {
        bool found = false;
        const param p[] = {name};
        run("SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = $1", p,
            [&](const result_row&) { found = true; });
        return found;
    }

    std::string_view id_type() const override { return "INTEGER PRIMARY KEY AUTOINCREMENT"; }
    const std::string& where() const override { return where_; }

private:
    [[noreturn]] void fail() const { throw store_error(where_ + ": " + sqlite3_errmsg(db_.get())); }

    void exec(const char* sql) {
        if (sqlite3_exec(db_.get(), sql, nullptr, nullptr, nullptr) != SQLITE_OK) fail();
    }

    sqlite3_stmt* prepared(std::string_view sql) {
        if (const auto it = cache_.find(sql); it != cache_.end()) return it->second;
        // The tool's queries vary with their filters: a bounded cache, emptied when full.
        if (cache_.size() >= 64) {
            for (auto& [text, s] : cache_) sqlite3_finalize(s);
            cache_.clear();
        }
        const std::string text = sqlite_text(sql);
        sqlite3_stmt* s = nullptr;
        if (sqlite3_prepare_v3(db_.get(), text.c_str(), static_cast<int>(text.size()), SQLITE_PREPARE_PERSISTENT, &s,
                               nullptr) != SQLITE_OK)
            fail();
        cache_.emplace(std::string(sql), s);
        return s;
    }

    struct closer {
        void operator()(sqlite3* db) const { sqlite3_close(db); }
    };
    std::string where_;
    std::unique_ptr<sqlite3, closer> db_;
    std::unordered_map<std::string, sqlite3_stmt*, statement_hash, std::equal_to<>> cache_;
};

}  // namespace

std::unique_ptr<connection> connect_sqlite(const std::string& path, bool writer) {
    return std::make_unique<sqlite_connection>(path, writer);
}

}  // namespace telvar::history
