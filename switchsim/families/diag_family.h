// Port diagnostics: the traffic and error counters of every port and the online port test, both
// driven by the fabric's simulated clock.
//
// Simulated time moves with the wall clock, or by a fixed step with every request the fabric
// answers (fabric-file field diagnostics.ms_per_request), or only when a test moves it
// (advance_clock, with `manual` set). A port's counters are a function of the seed, the port
// and the simulated time during which traffic flowed on it (while something is logged in), so
// the same seed and the same simulated time give the same counts. The test runs its passes one
// after another over simulated time; its log of passes and failures stays until reset_log.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

#include "switchsim/core/family.h"
#include "telvar/onlntest.h"

namespace sim {

struct fabric;

struct diag_fabric_state {
    std::uint32_t seed = 1;            // of the traffic rates
    std::uint32_t ms_per_request = 0;  // 0: simulated time follows the wall clock
    bool manual = false;               // time moves only by advance_clock
    std::uint64_t now_ms = 0;          // simulated time since the fabric started
    std::optional<sim_clock::time_point> wall;  // the wall-clock moment now_ms stands for
};

// What the test log holds of one port since it was last reset.
struct port_test_log {
    std::uint8_t state = 0;  // tv::layout::diag::test_state
    std::uint32_t passes = 0;
    std::uint32_t failures = 0;
    bool failed_this_run = false;
};

struct test_run {
    bool active = false;
    std::uint8_t port = 0;      // the tested port, or 0xFF for every port
    std::uint32_t passes = 0;   // asked for; 0 runs until stopped
    std::uint32_t pass_ms = 0;  // simulated time of one pass
    std::uint32_t done = 0;     // passes completed
    std::uint64_t elapsed_ms = 0;
};

struct diag_state {
    std::vector<std::uint64_t> traffic_ms;  // per port: simulated time traffic flowed
    std::vector<bool> faulty;               // per port: a marginal port (fabric file)
    std::vector<port_test_log> log;         // per port
    std::int32_t test_failures = 0;         // tests that failed as a whole
    test_run run;
};

struct diag_family {
    using state = diag_state;
    using fabric_state = diag_fabric_state;
    static const family_info& info();
};

// Moves the fabric's simulated clock on: every port that carries traffic counts the time, and
// a running test completes the passes that fall within it.
void advance_clock(fabric& f, std::uint64_t ms);

// The counter record of a port as the switch reports it now (word 0 is 0).
std::array<std::uint32_t, TV_PORT_COUNTER_WORDS> port_counters(const fabric& f, std::size_t sw,
                                                               std::size_t port);

// The simulated time of one pass of a test with this transfer size.
std::uint32_t pass_ms_of(std::uint32_t transfer_size);

}  // namespace sim
