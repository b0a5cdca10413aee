// The tool's command lines, run in this process by the tool's real dispatcher (its main,
// renamed), with the switch's answers fed from the input by the memory transport
// (support/memory_transport.h).
//
// Input: the arguments of telvar, each ended by a NUL byte, up to the first empty one (two NUL
// bytes in a row); what follows is the script of answers.
//
// What the tool does to end or to wait is turned into something one process can repeat without
// waiting:
// - ending the process (a refused line, the usage text) unwinds back here (support/tool_run.h),
//   and the destructors on the way close what the command opened;
// - a trap_listen that has read every answer is interrupted, as by Ctrl-C, since with standard
//   input not a terminal nothing else would end it;
// - discovery probes one address after another through the exchange (so through the script),
//   as many as a small fabric has, instead of on a socket of its own;
// - the pauses between bind attempts are skipped, Graphviz is never started, no file is
//   renamed into place (a written file's partial copy is removed again), and the sequence
//   numbers start at the same value on every run.
// The process moves, once, into a network namespace of its own with only loopback up, so that
// nothing the tool sends outside the exchange reaches anything. Between inputs every global of
// the tool is put back; a file descriptor left open, an exit status other than 0 to 3, or an
// exception other than the ending are findings.
#include <net/if.h>
#include <sched.h>
#include <signal.h>
#include <spawn.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/types.h>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/support/memory_transport.h"
#include "fuzz/support/tool_run.h"
#include "support/saved_globals.h"
#include "telvar/cli/given_options.h"
#include "telvar/cli/prompts.h"
#include "telvar/data/data_cmds.h"
#include "telvar/framework/notices.h"
#include "telvar/framework/output.h"
#include "telvar/tv_api.h"

int telvar_tool_main(int argc, char** argv);  // telvar/cli/main.cpp's main, renamed for this harness

// The exit status of the last input's run, for the seed writer (command_line_seeds.cpp).
int fuzz_command_line_status = 0;

namespace {

constexpr std::size_t max_words = 16;
constexpr std::size_t max_word_chars = 80;
constexpr std::uint32_t first_seq = 0x2000;
// Discovery probes at most this many addresses here: more would only repeat the same code.
constexpr std::size_t max_probes = 16;

// The SIGINT disposition before the tool ran: another one is the tool's own.
struct sigaction outside_interrupt {};

void interrupt_listening() {
    struct sigaction now {};
    if (::sigaction(SIGINT, nullptr, &now) != 0) return;
    if (now.sa_handler != outside_interrupt.sa_handler && now.sa_handler != SIG_IGN && now.sa_handler != SIG_DFL)
        ::raise(SIGINT);
}

// Loopback up in the namespace, so that contexts bind and connect as on any machine.
void loopback_up() {
    const int s = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (s < 0) return;
    ifreq ifr{};
    std::strncpy(ifr.ifr_name, "lo", IFNAMSIZ - 1);
    if (::ioctl(s, SIOCGIFFLAGS, &ifr) == 0) {
        ifr.ifr_flags = static_cast<short>(ifr.ifr_flags | IFF_UP);
        ::ioctl(s, SIOCSIFFLAGS, &ifr);
    }
    ::close(s);
}

bool set_up() {
    if (::unshare(CLONE_NEWNET) != 0) {  // no isolation, no run
        std::fprintf(stderr, "fuzz_command_line: no network namespace of its own (%s): no input is run\n",
                     std::strerror(errno));
        return false;
    }
    loopback_up();
    const int null_in = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    if (null_in < 0 || ::dup2(null_in, STDIN_FILENO) < 0) return false;  // never a terminal
    ::close(null_in);
    ::setenv("TELVAR_CREDENTIALS", "", 1);  // no credentials file is read
    ::unsetenv("TELVAR_PASSWORD");
    fuzz::on_dry_listen(interrupt_listening);
    return true;
}

// The file descriptors open among the first few free ones, to tell what a run left open: one
// poll asks about all of them (a closed one comes back as POLLNVAL).
using fd_window = std::array<bool, 64>;
fd_window open_fds(int from) {
    std::array<pollfd, std::tuple_size_v<fd_window>> asked{};
    for (std::size_t i = 0; i < asked.size(); ++i) asked[i].fd = from + static_cast<int>(i);
    fd_window open{};
    if (::poll(asked.data(), asked.size(), 0) < 0) return open;
    for (std::size_t i = 0; i < asked.size(); ++i) open[i] = (asked[i].revents & POLLNVAL) == 0;
    return open;
}

int lowest_free_fd() {
    const int fd = ::dup(STDERR_FILENO);
    ::close(fd);
    return fd;
}

// The process-wide state of the tool beyond the globals that saved_globals keeps.
void reset_tool_state(telvar::notice_level notices) {
    telvar::set_port_count_observer(nullptr);
    telvar::set_context_observers(nullptr, nullptr);
    telvar::set_notice_level(notices);
    telvar::tool::set_assume_yes(false);
    telvar::data::set_json_wanted(false);
    telvar::hand_options({});
}

}  // namespace

// The link-time stand-ins of the harness (see the top of the file).
extern "C" {

char** tv_discover_parallel(const uint32_t* list, const char* base, int32_t count, int32_t in_flight,
                            tv_discover_progress progress, void* arg) {
    if (in_flight < 1) {
        tv_api_errno = TV_ERR_PARAM;
        return nullptr;
    }
    // A list keeps its last entry, which the discovery never probes.
    std::vector<uint32_t> fewer;
    std::size_t probed = 0;
    if (list != nullptr) {
        std::size_t n = 0;
        while (list[n] != 0) ++n;
        const std::size_t kept = std::min(n, max_probes + 1);
        fewer.assign(list, list + kept);
        if (kept < n) fewer.back() = list[n - 1];
        fewer.push_back(0);
        probed = kept > 0 ? kept - 1 : 0;
    }
    const auto probes = static_cast<int32_t>(std::min<std::int64_t>(count, max_probes));
    if (list == nullptr) probed = static_cast<std::size_t>(std::max(probes, 0));
    const int32_t saved_discover = Discover;
    char** found = tv_discover(list != nullptr ? fewer.data() : nullptr, base, probes);
    Discover = saved_discover;
    if (found != nullptr && progress != nullptr)
        progress(static_cast<uint32_t>(probed), static_cast<uint32_t>(probed), arg);
    return found;
}

int __real_rename(const char* from, const char* to);
int __wrap_rename(const char* from, const char* to) {
    if (!fuzz::tool_running()) return __real_rename(from, to);
    errno = EROFS;
    return -1;
}

int __real_posix_spawnp(pid_t* pid, const char* file, const posix_spawn_file_actions_t* actions,
                        const posix_spawnattr_t* attrs, char* const argv[], char* const envp[]);
int __wrap_posix_spawnp(pid_t* pid, const char* file, const posix_spawn_file_actions_t* actions,
                        const posix_spawnattr_t* attrs, char* const argv[], char* const envp[]) {
    if (!fuzz::tool_running()) return __real_posix_spawnp(pid, file, actions, attrs, argv, envp);
    return ENOENT;
}

ssize_t __real_getrandom(void* buf, size_t length, unsigned int flags);
ssize_t __wrap_getrandom(void* buf, size_t length, unsigned int flags) {
    if (!fuzz::tool_running()) return __real_getrandom(buf, length, flags);
    errno = ENOSYS;
    return -1;
}

unsigned int __real_sleep(unsigned int seconds);
unsigned int __wrap_sleep(unsigned int seconds) { return fuzz::tool_running() ? 0 : __real_sleep(seconds); }

}  // extern "C"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const bool ready = set_up();
    if (!ready) return 0;

    std::vector<std::string> words{"telvar"};
    std::string word;
    std::size_t at = 0;
    for (; at < size; ++at) {
        if (data[at] != 0) {
            if (word.size() < max_word_chars) word.push_back(static_cast<char>(data[at]));
            continue;
        }
        if (word.empty()) {  // the empty argument ends the line
            ++at;
            break;
        }
        if (words.size() < max_words) words.push_back(word);
        word.clear();
    }
    if (!word.empty() && words.size() < max_words) words.push_back(word);
    std::vector<char*> argv;
    for (std::string& w : words) argv.push_back(w.data());
    argv.push_back(nullptr);

    const tvtest::saved_globals keep;
    const telvar::notice_level notices = telvar::current_notice_level();
    const int first_free = lowest_free_fd();
    const fd_window before = open_fds(first_free);
    ::sigaction(SIGINT, nullptr, &outside_interrupt);
    msg_seq_num = first_seq;
    fuzz::script_answers({data + at, size - at});

    const int status = fuzz::run_tool(telvar_tool_main, static_cast<int>(argv.size() - 1), argv.data());
    fuzz_command_line_status = status;
    std::fflush(stdout);
    std::fflush(stderr);
    reset_tool_state(notices);

    if (status < 0 || status > 3) std::abort();
    if (open_fds(first_free) != before) std::abort();  // a descriptor the run left open
    return 0;
}
