// Graphviz's programs run as child processes: the input is handed over and the output taken
// back through anonymous in-memory files.
#include <fcntl.h>
#include <spawn.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "telvar/pictures/fabric_picture.h"

extern char** environ;

namespace telvar::picture {

namespace {

// An anonymous in-memory file, so that neither side of the child's input and output can fill a
// pipe and wait for the other.
struct memory_file {
    int fd = memfd_create("telvar-map", MFD_CLOEXEC);
    ~memory_file() {
        if (fd >= 0) close(fd);
    }
    bool write_all(const std::string& text) const {
        for (std::size_t done = 0; done < text.size();) {
            const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) return false;
            done += static_cast<std::size_t>(n);
        }
        return lseek(fd, 0, SEEK_SET) == 0;
    }
    std::string read_all() const {
        std::string out;
        if (lseek(fd, 0, SEEK_SET) != 0) return out;
        char buffer[65536];
        for (;;) {
            const ssize_t n = ::read(fd, buffer, sizeof buffer);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) return out;
            out.append(buffer, static_cast<std::size_t>(n));
        }
    }
};

}  // namespace

std::optional<std::string> run_graphviz(const char* program, const std::vector<std::string>& arguments,
                                        const std::string& input, std::string& why) {
    memory_file in, out, err;
    if (in.fd < 0 || out.fd < 0 || err.fd < 0 || !in.write_all(input)) {
        why = std::string("cannot hand the map to Graphviz: ") + std::strerror(errno);
        return std::nullopt;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in.fd, 0);
    posix_spawn_file_actions_adddup2(&actions, out.fd, 1);
    posix_spawn_file_actions_adddup2(&actions, err.fd, 2);
    std::vector<std::string> words{program};
    words.insert(words.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& w : words) argv.push_back(w.data());
    argv.push_back(nullptr);
    pid_t pid = -1;
    const int spawned = posix_spawnp(&pid, program, &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) {
        why = "cannot run " + std::string(program) + " (Graphviz): " + std::strerror(spawned);
        return std::nullopt;
    }
    int wait_status = 0;
    while (waitpid(pid, &wait_status, 0) < 0 && errno == EINTR) {
    }
    if (!WIFEXITED(wait_status) || WEXITSTATUS(wait_status) != 0) {
        std::string text = err.read_all();
        text = text.substr(0, text.find('\n'));
        why = std::string(program) + " (Graphviz) failed" + (text.empty() ? std::string() : ": " + shown_text(text, 200));
        return std::nullopt;
    }
    return out.read_all();
}

}  // namespace telvar::picture
