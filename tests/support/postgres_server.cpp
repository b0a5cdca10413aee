#include "support/postgres_server.h"

#include <glob.h>
#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "support/run_tool.h"

namespace tvtest {

namespace {

constexpr const char* user = "telvar";  // the cluster's superuser

// The newest installed server's binaries.
std::string server_bin() {
    glob_t g{};
    std::string found;
    if (::glob("/usr/lib/postgresql/*/bin/postgres", 0, nullptr, &g) == 0 && g.gl_pathc > 0)
        found = std::filesystem::path(g.gl_pathv[g.gl_pathc - 1]).parent_path();
    ::globfree(&g);
    return found;
}

}  // namespace

postgres_server::postgres_server() : bin_(server_bin()) {
    if (bin_.empty()) {
        error_ = "no PostgreSQL server in /usr/lib/postgresql/*/bin (scripts/deps.sh test installs it)";
        return;
    }
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/tvpg.XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) {
        error_ = "cannot make a folder for the server";
        return;
    }
    folder_ = pattern;
    if (::geteuid() == 0) {
        const passwd* pw = ::getpwnam("postgres");
        if (pw == nullptr || ::chown(folder_.c_str(), pw->pw_uid, pw->pw_gid) != 0) {
            error_ = "no postgres system user to run the server as";
            return;
        }
    }
    if (!run("initdb", "initdb", {"-D", folder_ + "/data", "-U", user, "-A", "trust", "-E", "UTF8", "--no-locale",
                                   "--no-sync"}))
        return;
    {
        // No TCP at all: the socket in our folder is the only way in.
        std::ofstream conf(folder_ + "/data/postgresql.conf", std::ios::app);
        conf << "listen_addresses = ''\nunix_socket_directories = '" << folder_ << "'\nfsync = off\n";
    }
    started_ = run("pg_ctl start", "pg_ctl", {"-D", folder_ + "/data", "-l", folder_ + "/log", "-w", "start"});
    if (!started_) {
        std::ifstream log(folder_ + "/log");
        error_ += std::string(std::istreambuf_iterator<char>(log), {});
    }
}

postgres_server::~postgres_server() {
    if (started_) run("pg_ctl stop", "pg_ctl", {"-D", folder_ + "/data", "-m", "immediate", "-w", "stop"});
    if (!folder_.empty()) {
        std::error_code ec;
        std::filesystem::remove_all(folder_, ec);
    }
}

bool postgres_server::run(const std::string& what, const std::string& program, std::vector<std::string> args) {
    std::string path = bin_ + "/" + program;
    if (::geteuid() == 0) {
        args.insert(args.begin(), {"-u", "postgres", "--", path});
        path = "/usr/sbin/runuser";
    }
    const tool_result r = run_tool(path, args);
    if (r.status == 0) return true;
    error_ = what + " failed (status " + std::to_string(r.status) + "): " + r.out + r.err;
    return false;
}

std::string postgres_server::new_database(const std::string& name) {
    if (!ok() || !run("createdb", "createdb", {"-h", folder_, "-U", user, name})) return "";
    return "postgresql:///" + name + "?host=" + folder_ + "&user=" + user;
}

}  // namespace tvtest
