// A PostgreSQL server of a test's own: a cluster made in a temporary folder, run by the
// `postgres` system user when the test runs as root (the server refuses root), listening only
// on a unix socket in that folder, stopped and removed with the object. The binaries are
// Debian's (package postgresql, /usr/lib/postgresql/VERSION/bin); without them it reports why.
#pragma once

#include <string>
#include <vector>

namespace tvtest {

class postgres_server {
public:
    postgres_server();  // starts it; ok() tells whether it runs
    ~postgres_server();
    postgres_server(const postgres_server&) = delete;
    postgres_server& operator=(const postgres_server&) = delete;

    bool ok() const { return error_.empty(); }
    // Why it is not running, with the server's own words where it gave some.
    const std::string& error() const { return error_; }
    // A new empty database on the server, as a libpq URL; "" when it cannot be made.
    std::string new_database(const std::string& name);

private:
    bool run(const std::string& what, const std::string& program, std::vector<std::string> args);

    std::string bin_, folder_, error_;
    bool started_ = false;
};

}  // namespace tvtest
