// Seeds for fuzz_command_line: every command of the tool's table, run by the harness itself on
// the sample operands of its entry (in its JSON form too, on every port where it takes "all",
// and with a few options that change the switch), with the simulator's default fabric
// answering each request in this process. Each
// run's command line and the answers it read make one input, which the harness replays as it
// ran: the fuzzer starts deep inside every command instead of having to find each one and
// then write answers good enough to get past its first exchange.
//
//     fuzz_command_line_seeds FOLDER     writes FOLDER/seed-<command line>, one per run
//
// Each seed is replayed from its script at once; exits 1, naming them, when a command that
// addresses a switch sent no request, waited for an answer that the fabric had given (an
// answer not taken as the switch's), or a seed replays otherwise than its live run went (up to
// the first silence, where its script ends).
#include <arpa/inet.h>
#include <fcntl.h>
#include <unistd.h>

#include <array>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/support/memory_transport.h"
#include "support/command_samples.h"
#include "switchsim/core/default_fabric.h"
#include "switchsim/core/dispatch.h"
#include "telvar/cli/command_table.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);
extern int fuzz_command_line_status;

namespace {

constexpr std::string_view switch_ip = "127.0.0.2";
constexpr std::uint16_t tool_port = 5001;

const sim::handler_index& handlers() {
    static const sim::handler_index index = [] {
        std::string why;
        auto built = sim::handler_index::build(sim::all_families(), why);
        if (!built) {
            std::fprintf(stderr, "fuzz_command_line_seeds: %s\n", why.c_str());
            std::exit(2);
        }
        return *std::move(built);
    }();
    return index;
}

// The words of one run: the command word, then `line` with the switch's address ("{ip}").
std::vector<std::string> words_of(std::string_view word, std::string_view line) {
    return tvtest::sample_line(word, line, std::string(switch_ip), {});
}

// Runs beyond the samples: the changes each command's options make, a device that the fabric
// has, and a switch reached through another (-f).
struct more_run {
    std::string_view word;
    std::string_view line;  // what follows the word
};
constexpr std::array more_runs{
    more_run{"version", "-f 108000 {ip}"},
    more_run{"chassis_mode", "-y -s test {ip}"},
    more_run{"chassis_tovs", "-s -m 2112 -e 2000 -a 10000 -t 100 {ip}"},
    more_run{"port_state", "-y -s off {ip} 3"},
    more_run{"port_type", "-y -s fl {ip} 3"},
    more_run{"port_mfs_mode", "-s -M 1 {ip} 3"},
    more_run{"set_zone", "-s -e {ip} ns 7 1 4-6"},
    more_run{"ns_zone_type", "-s wwn {ip}"},
    more_run{"wwn_zone", "-r 1 {ip}"},
    more_run{"set_trapping", "-i 30 -t enabled {ip}"},
    more_run{"locate", "{ip} 21:00:00:00:5e:01:01:01"},
    more_run{"panel", "{ip} 2"},
};

// The runs of a command: as its entry gives it, in JSON when it has that form, and on every
// port when its port operand may be "all"; then those above.
std::vector<std::vector<std::string>> runs_of(const telvar::command& c) {
    std::vector<std::vector<std::string>> runs{words_of(c.word, c.sample)};
    if (c.json != nullptr) {
        runs.push_back(runs.front());
        runs.back().insert(runs.back().begin(), "--json");
    }
    if (c.args.operands.find("<port>|all") != std::string_view::npos) {
        const std::size_t runs_so_far = runs.size();
        for (std::size_t i = 0; i < runs_so_far; ++i) {
            std::vector<std::string> every_port = runs[i];
            every_port.back() = "all";
            runs.push_back(std::move(every_port));
        }
    }
    for (const more_run& m : more_runs)
        if (m.word == c.word) runs.push_back(words_of(c.word, m.line));
    return runs;
}

// The tool's reports and complaints go nowhere while it runs; the seeds' summary goes to the
// standard output and error that the program was given.
class quiet_tool {
public:
    quiet_tool() : out_(::dup(STDOUT_FILENO)), err_(::dup(STDERR_FILENO)), null_(::open("/dev/null", O_WRONLY)) {}
    ~quiet_tool() {
        for (const int fd : {out_, err_, null_}) ::close(fd);
    }
    quiet_tool(const quiet_tool&) = delete;
    quiet_tool& operator=(const quiet_tool&) = delete;

    void silence() const {
        std::fflush(nullptr);
        ::dup2(null_, STDOUT_FILENO);
        ::dup2(null_, STDERR_FILENO);
    }
    void restore() const {
        std::fflush(nullptr);
        ::dup2(out_, STDOUT_FILENO);
        ::dup2(err_, STDERR_FILENO);
    }

private:
    int out_, err_, null_;
};

sim::fabric switches;

// Requests of the run that the switch handled without answering (a reset).
std::size_t left_unanswered = 0;

std::optional<std::vector<std::uint8_t>> answer_from_fabric(in_addr_t to, std::span<const std::uint8_t> request) {
    const auto owner = switches.find_by_ip(to);
    if (!owner) return std::nullopt;
    auto r = sim::dispatch(handlers(), switches, *owner, request, inet_addr("127.0.0.1"), tool_port);
    if (r.what == sim::dispatch_result::outcome::silent) ++left_unanswered;
    if (r.what != sim::dispatch_result::outcome::answered) return std::nullopt;
    return sim::frame_answer(std::move(r.answer), request, r.status, r.seq);
}

struct run {
    std::size_t requests = 0;
    std::size_t answers = 0;
    std::size_t silent_waits = 0;
    int status = 0;
};

enum class answers_from { fabric, script };

// One input through the harness.
run run_input(const quiet_tool& quiet, std::span<const std::uint8_t> input, answers_from source) {
    fuzz::answer_live(source == answers_from::fabric ? fuzz::live_switch(answer_from_fabric) : nullptr);
    quiet.silence();
    LLVMFuzzerTestOneInput(input.data(), input.size());
    quiet.restore();
    return {fuzz::requests_sent(), fuzz::answers_taken(), fuzz::silent_waits(), fuzz_command_line_status};
}

std::string file_name(const std::vector<std::string>& words) {
    std::string name = "seed";
    for (const std::string& w : words) {
        name += '-';
        for (const char ch : w) name += std::isalnum(static_cast<unsigned char>(ch)) != 0 ? ch : '_';
    }
    return name;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: fuzz_command_line_seeds FOLDER\n");
        return 2;
    }
    const std::filesystem::path folder = argv[1];
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);  // a folder that cannot be made fails the first write

    const sim::fabric pristine = sim::default_fabric(inet_addr(std::string(switch_ip).c_str()));
    switches = pristine;

    const quiet_tool quiet;
    std::vector<std::string> faults;
    for (const more_run& m : more_runs)
        if (telvar::find_command(m.word) == nullptr) faults.push_back(std::string(m.word) + ": no such command");
    int written = 0;
    for (const telvar::command& c : telvar::commands()) {
        // The files a command reads are fuzzed by their readers' own harnesses; without one,
        // such a run ends before its first request.
        if (c.args.operands.find("<file>") != std::string_view::npos) continue;
        for (const std::vector<std::string>& words : runs_of(c)) {
            std::vector<std::uint8_t> input;
            for (const std::string& w : words) {
                input.insert(input.end(), w.begin(), w.end());
                input.push_back(0);
            }
            input.push_back(0);  // the empty argument: the answers follow

            switches = pristine;  // every run meets the same switches
            left_unanswered = 0;
            const run live = run_input(quiet, input, answers_from::fabric);
            const fuzz::live_script answers = fuzz::live_script_read();
            input.insert(input.end(), answers.bytes.begin(), answers.bytes.end());
            const run replayed = run_input(quiet, input, answers_from::script);

            const std::string name = file_name(words);
            std::ofstream out(folder / name, std::ios::binary);
            out.write(reinterpret_cast<const char*>(input.data()), static_cast<std::streamsize>(input.size()));
            if (!out.flush()) {
                std::fprintf(stderr, "fuzz_command_line_seeds: cannot write %s\n", (folder / name).c_str());
                return 2;
            }
            ++written;
            std::printf("%-56s %4zu requests %4zu answers  exit %d\n", name.c_str(), live.requests, live.answers,
                        live.status);

            // The seed must run as the live run did, up to the silence its script ends on.
            const bool went_silent = answers.records < live.answers || live.answers < live.requests;
            if (c.sample.find("{ip}") != std::string_view::npos && live.requests == 0)
                faults.push_back(name + ": sent no request");
            // Against switches that answer every request at once, a wait for an answer finds
            // none only after a reset, or when an answer was not taken as the switch's (a fault
            // of the recording).
            if (live.silent_waits > 0 && left_unanswered == 0)
                faults.push_back(name + ": waited where an answer had come");
            if (replayed.status != live.status) faults.push_back(name + ": replays to another exit status");
            if (replayed.answers != answers.records || (!went_silent && replayed.requests != live.requests))
                faults.push_back(name + ": replays differently (" + std::to_string(replayed.requests) +
                                 " requests, " + std::to_string(replayed.answers) + " answers)");
        }
    }

    std::printf("%d seeds in %s\n", written, folder.c_str());
    for (const std::string& f : faults) std::fprintf(stderr, "fuzz_command_line_seeds: %s\n", f.c_str());
    return faults.empty() ? 0 : 1;
}
