// Questions on the terminal (see prompts.h).
#include "telvar/cli/prompts.h"

#include "telvar/telvar.h"

#include <termios.h>
#include <unistd.h>

#include <array>
#include <cctype>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>

namespace telvar::tool {

namespace {

bool assume_yes = false;

// A line from standard input, read a byte at a time so that nothing after it is taken from
// the terminal; at most `room` bytes are kept. Nothing at the end of input.
std::optional<std::string> read_line(std::size_t room = 256) {
    std::string line;
    bool any = false;
    for (;;) {
        char ch = 0;
        const ssize_t n = ::read(STDIN_FILENO, &ch, 1);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return any ? std::optional(line) : std::nullopt;
        any = true;
        if (ch == '\n') return line;
        if (line.size() < room) line += ch;
    }
}

// The terminal's mode before echo was turned off, for the signal handlers.
termios saved_mode{};
constexpr std::array<int, 4> ending_signals{SIGINT, SIGQUIT, SIGTERM, SIGHUP};

void echo(bool on) {
    termios mode = saved_mode;
    if (!on) mode.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHOE | ECHOK);
    tcsetattr(STDIN_FILENO, TCSANOW, &mode);
}

void on_ending_signal(int sig) {
    tcsetattr(STDIN_FILENO, TCSANOW, &saved_mode);
    std::signal(sig, SIG_DFL);
    std::raise(sig);
}

// Ctrl-Z: the shell gets the terminal back as it was; once continued, echo goes off again.
void on_stop(int) {
    const int saved_errno = errno;
    tcsetattr(STDIN_FILENO, TCSANOW, &saved_mode);
    std::signal(SIGTSTP, SIG_DFL);
    std::raise(SIGTSTP);
    std::signal(SIGTSTP, on_stop);
    termios quiet = saved_mode;
    quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHOE | ECHOK);
    tcsetattr(STDIN_FILENO, TCSANOW, &quiet);
    errno = saved_errno;
}

// Echo off while it lives, with the handlers that put it back whatever ends the process.
class echo_off {
public:
    echo_off() {
        struct sigaction sa {};
        sa.sa_handler = on_ending_signal;
        sigemptyset(&sa.sa_mask);
        for (std::size_t i = 0; i < ending_signals.size(); ++i) sigaction(ending_signals[i], &sa, &old_[i]);
        sa.sa_handler = on_stop;
        sigaction(SIGTSTP, &sa, &old_stop_);
        echo(false);
    }
    ~echo_off() {
        echo(true);
        for (std::size_t i = 0; i < ending_signals.size(); ++i) sigaction(ending_signals[i], &old_[i], nullptr);
        sigaction(SIGTSTP, &old_stop_, nullptr);
    }
    echo_off(const echo_off&) = delete;
    echo_off& operator=(const echo_off&) = delete;

private:
    std::array<struct sigaction, ending_signals.size()> old_{};
    struct sigaction old_stop_ {};
};

}  // namespace

void set_assume_yes(bool yes) { assume_yes = yes; }

bool would_ask() {
    // isatty leaves ENOTTY behind, which print_error would show for a later failure.
    const int saved = errno;
    const bool ask = !assume_yes && isatty(STDIN_FILENO) != 0;
    errno = saved;
    return ask;
}

bool confirmed(const std::string& question) {
    if (!would_ask()) return true;
    std::fprintf(stderr, "%s [y/N] ", question.c_str());
    std::fflush(stderr);
    const std::optional<std::string> answer = read_line();
    if (!answer) std::fputc('\n', stderr);
    std::string word;
    for (const char ch : answer.value_or(""))
        if (!std::isspace(static_cast<unsigned char>(ch))) word += static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    return word == "y" || word == "yes";
}

std::string switch_name(const char* address) {
    if (g_remotefcaddr == 0) return address;
    char fc[16];
    std::snprintf(fc, sizeof fc, "%06x", g_remotefcaddr & 0xFFFFFFu);
    return std::string(fc) + " through " + address;
}

outcome declined(std::string_view word) {
    std::fprintf(stderr, "telvar: %.*s: not confirmed; nothing was changed\n", static_cast<int>(word.size()), word.data());
    return outcome::refused();
}

std::optional<std::string> read_secret(const std::string& prompt) {
    if (tcgetattr(STDIN_FILENO, &saved_mode) != 0) return std::nullopt;
    std::optional<std::string> secret;
    {
        const echo_off quiet;  // before the prompt: whatever is typed after it stays unseen
        std::fprintf(stderr, "%s", prompt.c_str());
        std::fflush(stderr);
        secret = read_line();
    }
    std::fputc('\n', stderr);  // the newline the user typed was not echoed
    return secret;
}

std::optional<std::string> new_password(const std::string& whom, std::string& why) {
    if (isatty(STDIN_FILENO) == 0) {
        const char* given = std::getenv("TELVAR_NEW_PASSWORD");
        if (given != nullptr && *given != '\0') return given;
        why = given != nullptr ? "TELVAR_NEW_PASSWORD is empty"
                               : "no new password: give it, type it on a terminal, or set TELVAR_NEW_PASSWORD";
        return std::nullopt;
    }
    const std::optional<std::string> first = read_secret("New password for " + whom + ": ");
    if (!first || first->empty()) {
        why = "no password was typed";
        return std::nullopt;
    }
    // Typed blind, so typed twice: a slip would lock the account's owner out.
    if (read_secret("Retype the new password for " + whom + ": ") != first) {
        why = "the two passwords typed differ";
        return std::nullopt;
    }
    return first;
}

}  // namespace telvar::tool
