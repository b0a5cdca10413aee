// The tool's command lines: the input's words (separated by NUL bytes) as the arguments of
// telvar, run by its real dispatcher in a child process, since a command-line error ends the
// process by design. The harness moves itself, once, into a network namespace of its own with
// no interface up, so nothing its children send reaches a switch or anything else; a child
// that the sanitizers stop, or that dies of a signal other than its alarm, is a finding.
//
// The children's coverage does not reach the fuzzer (it stays in their copies of its
// counters), so this harness explores by mutation more than by feedback.
#include <sched.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define TELVAR_ASAN 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__)
#define TELVAR_ASAN 1
#endif
#ifdef TELVAR_ASAN
#include <sanitizer/common_interface_defs.h>
#endif

extern "C" int nanosleep(const timespec*, timespec*) { return 0; }

int telvar_tool_main(int argc, char** argv);  // telvar/main.cpp's main, renamed for this harness

namespace {

constexpr int sanitizer_stop = 99;

[[noreturn]] void run_child(std::vector<std::string>& words) {
#ifdef TELVAR_ASAN
    __sanitizer_set_death_callback([] { ::_exit(sanitizer_stop); });
#endif
    ::alarm(2);
    std::freopen("/dev/null", "r", stdin);
    std::freopen("/dev/null", "w", stdout);
    std::freopen("/dev/null", "w", stderr);
    std::vector<char*> argv;
    for (auto& w : words) argv.push_back(w.data());
    argv.push_back(nullptr);
    std::exit(telvar_tool_main(static_cast<int>(argv.size() - 1), argv.data()));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // Creating a namespace is slow: once, for the harness and all its children.
    static const bool isolated = ::unshare(CLONE_NEWNET) == 0;
    if (!isolated) return 0;  // no isolation, no run
    std::vector<std::string> words{"telvar"};
    std::string word;
    for (std::size_t i = 0; i < size && words.size() < 16; ++i) {
        if (data[i] == 0) {
            words.push_back(word);
            word.clear();
        } else if (word.size() < 80) {
            word.push_back(static_cast<char>(data[i]));
        }
    }
    if (!word.empty() && words.size() < 16) words.push_back(word);

    std::fflush(nullptr);
    const pid_t pid = ::fork();
    if (pid < 0) return 0;
    if (pid == 0) run_child(words);
    int status = 0;
    ::waitpid(pid, &status, 0);
    if (WIFEXITED(status) && WEXITSTATUS(status) == sanitizer_stop) std::abort();
    if (WIFSIGNALED(status) && WTERMSIG(status) != SIGALRM) std::abort();
    return 0;
}
