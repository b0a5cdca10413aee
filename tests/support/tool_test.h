// The fixture of the tests that run the telvar tool (TELVAR_BIN) as a child process against a
// fabric of the simulator running in the test: one line runs a command, one checks that it
// succeeded, one reads or changes the fabric under the server's lock.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "support/run_tool.h"
#include "support/sim_fixture.h"

namespace tvtest {

using args = std::vector<std::string>;

// How a run of the tool is told to let the system choose its local UDP port.
enum class local_port {
    option,       // `-port 0` after the command word
    environment,  // TELVARPORT=0
    as_given,     // as the test's own arguments and environment say (the tests of those)
};

// Runs the tool; extra environment entries come before the fixture's, and so take precedence.
inline tool_result run_telvar(args a, local_port how, std::vector<std::string> env = {}) {
    if (how == local_port::option && !a.empty()) a.insert(a.begin() + 1, {"-port", "0"});
    if (how == local_port::environment) env.emplace_back("TELVARPORT=0");
    return run_tool(TELVAR_BIN, a, env);
}

class tool_test : public ::testing::Test {
protected:
    // The default fabric, switch k at base + k - 1; or any fabric.
    explicit tool_test(const std::string& base, local_port how = local_port::option, sim::server_options o = {})
        : fab(base, std::move(o)), how_(how) {}
    explicit tool_test(sim::fabric f, local_port how = local_port::option, sim::server_options o = {})
        : fab(std::move(f), std::move(o)), how_(how) {}

    // Runs `telvar` with the arguments (the command word first).
    tool_result telvar(const args& a, const std::vector<std::string>& env = {}) const {
        return run_telvar(a, how_, env);
    }
    // Runs a command that should succeed and returns what it printed on standard output.
    std::string ok(const args& a) const {
        const tool_result r = telvar(a);
        EXPECT_EQ(0, r.status) << (a.empty() ? "" : a.front()) << "\n" << r.out << r.err;
        return r.out;
    }
    // Reads or changes the fabric under the server's lock.
    template <class F>
    decltype(auto) with(F&& f) {
        return fab.server().with_fabric(std::forward<F>(f));
    }

    running_fabric fab;

private:
    local_port how_;
};

}  // namespace tvtest
