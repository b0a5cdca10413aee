// The benchmark program: each part measures against the floor taken in the same run and prints
// figures and ratios.
#pragma once

#include <sys/types.h>

#include <cstdio>
#include <string>
#include <vector>

namespace sim {
class server;
}

namespace bench {


// TELVAR_BENCH_NET=A.B.C moves every address that a benchmark binds into that /24 (.1 to .40),
// so that several people can measure side by side on one machine.
namespace addresses {
inline const char* exchange_echo = "127.0.9.1";
inline const char* throughput_echo = "127.0.9.2";
inline const char* simulator = "127.0.9.3";  // and the next two
inline constexpr const char* silent_net = "127.1.0.0";  // a /16 where nothing listens
inline constexpr const char* sink_net = "127.2.0.0";    // a /24 that takes probes and answers none
inline const char* fabric = "127.0.25.2";     // a generated fabric's first switch, and the next 11
inline const char* fabric_echo = "127.0.25.1";
inline const char* exporter = "127.0.134.1";  // the exporter's HTTP listener
inline const char* many_addresses = "127.0.9.50";  // a simulator of 12 addresses, to .61
inline const char* slow_fabric = "127.0.199.2";  // slow switches, served by a process of its own (.41)
inline const char* events = "127.0.43.230";           // the watcher's events: a fabric (to .232),
inline const char* events_echo = "127.0.43.233";      // its floor,
inline const char* events_receiver = "127.0.43.234";  // and the trap receiver
inline const char* watch_fabric = "127.0.47.100";      // the watcher's readings: a generated fabric,
inline const char* watch_echo = "127.0.47.99";         // and its floor
inline const char* console = "127.0.54.100";          // the console's listener,
inline const char* console_fabric = "127.0.54.101";   // its fabric (to .112),
inline const char* console_echo = "127.0.54.113";     // and its floor
// Applies TELVAR_BENCH_NET when it is set; false when it is not of the form A.B.C.
bool from_environment();
}

struct report {
    double floor_us = 0;  // one UDP round trip on loopback, measured in this run

    void line(const char* what, double value, const char* unit) const {
        std::printf("%-48s %10.2f %s\n", what, value, unit);
    }
    // Prints a time per operation and its ratio to the floor, against the goal.
    void ratio(const char* what, double us, double goal) const {
        const double r = floor_us > 0 ? us / floor_us : 0;
        std::printf("%-48s %10.2f us   ratio %.2f (goal <= %.2f)%s\n", what, us, r, goal,
                    r <= goal ? "" : "  ABOVE GOAL");
    }
};

void run_exchange_bench(report& out);
void run_simulator_bench(report& out);
void run_discovery_bench(report& out);
void run_fabric_bench(report& out, const char* self);
// Fabric-wide reads of a fabric whose switches take a millisecond to answer.
void run_slow_fabric_bench(report& out, const char* self);
// One scrape of the exporter over the fabric benchmark's fabric, and the exporter's memory.
void run_exporter_bench(report& out, sim::server& srv, const char* self,
                        const char* fabric);
// The history store: an unchanged fabric's growth on disk, and a reading of 1,000 changes, over
// SQLite and over a PostgreSQL server started for the run.
void run_history_bench(report& out);
// Keeping a trap registration, and the trap receiver's cost per datagram.
void run_events_bench(report& out);
// The watcher's comparison of a reading with the last, and its store, over 10,000 devices.
void run_watcher_bench(report& out);
// The watcher's console over the fabric benchmark's fabric, from a warm server: the fabric page
// and every API call it makes, alone and beside two slow clients.
void run_console_bench(report& out);
// `telvar_bench --peak-of PROGRAM ARGS...`: runs the program and prints its peak memory (KiB);
// SIGTERM is passed on to it.
int peak_of_child(char** argv);

// A program run under a fresh, small copy of this program (`self --peak-of`): a process's peak
// counts the memory of the process it was started from, and this one has a fabric in it.
class peak_run {
public:
    peak_run(const char* self, const std::vector<std::string>& program);
    pid_t pid() const { return pid_; }  // of the copy, which passes SIGTERM on
    // Waits for the program to end; its peak resident memory (KiB), or -1. Once only.
    long peak_kib() const;

private:
    pid_t pid_ = -1;
    int report_ = -1;
};

}  // namespace bench
