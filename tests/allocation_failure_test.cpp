// Running out of memory: every operation and every entry point is run again and again against the simulator with its
// k-th heap allocation failing, for every k it reaches. Each run must end with a defined status
// (12 or 300 where the allocation was the operation's own), and the leak checker of the
// sanitizer build sees everything that was not released.
#include <gtest/gtest.h>

#include <set>

#include <cstdlib>

#include "support/every_entry_point.h"
#include "support/every_operation.h"
#include "support/sim_fixture.h"
#include "support/test_addresses.h"
#include "tv_api/alloc.h"

namespace {

// Runs `op` with the k-th allocation failing for k = 1, 2, ... until a run allocates fewer than
// k times; returns how many allocations a whole run makes.
template <class Run>
long each_failing_allocation(const char* name, Run&& run, const std::set<int32_t>& allowed = tvtest::defined_statuses()) {
    for (long k = 1;; ++k) {
        tv::fail_allocations_from(k);
        const int32_t status = run();
        const long asked = tv::fail_allocations_from(0);
        EXPECT_TRUE(allowed.contains(status)) << name << ", allocation " << k << ": " << status;
        if (asked < k) return asked;
    }
}

class allocation_failure : public tvtest::fabric_test {
protected:
    allocation_failure() : fabric_test(tvtest::addr::allocation_base) { fab.without_reset_time(); }
};

TEST_F(allocation_failure, every_operation_reports_it_and_leaks_nothing) {
    long total = 0;
    for (const auto& op : tvtest::every_operation())
        total += each_failing_allocation(op.name, [&] { return op.run(ctx); });

    // Operations that make their own context or lists.
    total += each_failing_allocation("discovery", [] {
        char** found = tv_discover(nullptr, tvtest::addr::allocation_base, 2);
        const int32_t status = tv_api_errno;
        tv_free_discovery(found, nullptr);
        return status;
    });
    total += each_failing_allocation("parallel discovery", [] {
        char** found = tv_discover_parallel(nullptr, tvtest::addr::allocation_base, 3, 2, nullptr, nullptr);
        const int32_t status = tv_api_errno;
        tv_free_discovery(found, nullptr);
        return status;
    });
    total += each_failing_allocation("address list", [] {
        uint32_t* list = tv_ip_values_from_mask("10.0.0.1", "255.255.255.0");
        const int32_t status = tv_api_errno;
        std::free(list);
        return status;
    });
    total += each_failing_allocation("context", [] {
        tv_context* c = tv_open(tvtest::addr::allocation_base);
        const int32_t status = c ? TV_OK : tv_api_errno;
        tv_close(c);
        return status;
    });
    EXPECT_GT(total, 30);  // the list reaches the library's allocations, not none of them
}

TEST_F(allocation_failure, every_entry_point_reports_it_and_leaks_nothing) {
    setenv("TELVARPORT", "0", 1);
    long total = 0;
    for (const auto& e : tvtest::every_entry_point())
        total += each_failing_allocation(e.name, [&] { return e.run(tvtest::addr::allocation_base); },
                                         tvtest::entry_point_results());
    EXPECT_GT(total, 40);  // a context each, and the lists of those that read lists
}

TEST(allocation_failure_refusal, the_context_says_12) {
    tv::fail_allocations_from(1);
    EXPECT_EQ(nullptr, tv_open(tvtest::addr::allocation_base));
    EXPECT_EQ(TV_ERR_NOMEM, tv_api_errno);
    tv::fail_allocations_from(0);
}

}  // namespace
