// Reads of mixed commands through the library, in strict answer mode, against the simulator
// spoiling its answers by seeded schedules: losing, duplicating and reordering them. Every call
// must end in success with exactly what the fabric holds, or with 106 after a whole budget of
// silence: an answer is never taken for another request's, and a duplicate or stale answer
// never fails a call (strict mode reads it past without counting it as spoiled). Then the tool's
// read commands and an exporter scrape against a fabric that answers everything twice.
//
// A lost answer costs a wait and the exchange's 15 ms pause, so four worker processes share
// the reads, each with its own context: forked before the simulator's thread starts, they
// report their counts through a pipe.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <string>

#include "support/sim_fixture.h"
#include "support/test_addresses.h"
#include "support/tool_test.h"
#include "switchsim/core/default_fabric.h"
#include "switchsim/families/diag_family.h"

namespace {

constexpr int workers = 4;

// What each switch of the fabric holds, read from the model.
struct expected_switch {
    std::uint32_t fc_addr;
    std::uint32_t flash_rev;
    sim::wwn_t wwn;
    std::uint8_t model;
    std::int32_t temperature;
    std::string description;
    std::vector<std::uint8_t> types;
    std::vector<std::uint8_t> admin;
};

std::vector<expected_switch> expected_of(const sim::fabric& f) {
    std::vector<expected_switch> out;
    for (const auto& s : f.switches) {
        const auto& id = s.get<sim::identity_state>();
        expected_switch e{s.fc_addr, id.flash_rev, id.wwn, id.model, id.temperature,
                          id.description, {}, {}};
        for (const auto& p : s.get<sim::port_state>().active) {
            e.types.push_back(p.type);
            e.admin.push_back(p.admin);
        }
        out.push_back(e);
    }
    return out;
}

// The counts of one worker: right answers, wrong ones, failures by status, and answers to the
// current request that strict mode refused.
struct tally {
    int right = 0;
    int wrong = 0;
    int no_response = 0;
    int other_failure = 0;
    std::uint32_t spoiled = 0;
};

// One read of kind `kind` from switch `e`; true when its answer matches the fabric.
int32_t read_one(tv_context* ctx, int kind, const expected_switch& e, bool& right) {
    switch (kind) {
        case 0: {
            tv_version_info v{};
            const int32_t st = tv_get_version(ctx, &v);
            right = v.flash_rev == e.flash_rev && v.ver_info3 == e.fc_addr &&
                    std::memcmp(v.wwn, e.wwn.data(), 8) == 0;
            return st;
        }
        case 1: {
            tv_chassis_status c{};
            const int32_t st = tv_get_chassis_status(ctx, &c);
            right = c.num_ports == e.types.size() && c.temperature == e.temperature;
            return st;
        }
        case 2: {
            tv_sysconfig cfg{};
            const int32_t st = tv_get_snmp_sysconfig(ctx, &cfg);
            right = e.description == cfg.description;
            return st;
        }
        case 3: {
            uint32_t model = 0;
            const int32_t st = tv_get_switch_model(ctx, &model);
            right = model == (e.model <= 3 ? e.model : 255u);
            return st;
        }
        case 4: {
            tv_port_types t{};
            const int32_t st = tv_get_port_types(ctx, &t);
            right = st == TV_OK && std::vector<std::uint8_t>(t.types, t.types + t.count) == e.types;
            tv_free_port_types(&t);
            return st;
        }
        case 5: {
            tv_port_state ps{};
            const int32_t st = tv_get_port_state(ctx, &ps);
            right = st == TV_OK && ps.count == e.admin.size();
            for (uint32_t p = 0; right && p < ps.count; ++p) right = ps.entries[p].admin == e.admin[p];
            tv_free_port_state(&ps);
            return st;
        }
        default: {
            const int32_t n = tv_get_num_of_ports(ctx);
            right = n == static_cast<int32_t>(e.types.size());
            return tv_api_errno;
        }
    }
}

tally run_worker(const std::vector<expected_switch>& expected, int worker, int reads_per_worker,
                 const char* base) {
    tv_api_open(nullptr);
    msg_seq_num = static_cast<uint32_t>(worker) << 28;  // apart from the other workers'
    Discover = 0;
    g_strict_answers = 1;
    g_ip_timeout = 2;  // a lost answer costs a short wait and the 15 ms pause: about 9 tries
    g_timeout = 150;
    tally t;
    tv_context* ctx = tv_open(base);
    if (ctx == nullptr) {
        t.other_failure = reads_per_worker;
        return t;
    }
    for (int i = 0; i < reads_per_worker; ++i) {
        const int n = worker * reads_per_worker + i;
        const expected_switch& e = expected[static_cast<std::size_t>(n / 7) % expected.size()];
        tv_set_dest_addr(ctx, e.fc_addr);
        bool right = false;
        const int32_t st = read_one(ctx, n % 7, e, right);
        if (st == TV_OK)
            right ? ++t.right : ++t.wrong;
        else
            st == TV_ERR_NO_RESPONSE ? ++t.no_response : ++t.other_failure;
    }
    tv_close(ctx);
    t.spoiled = tv_get_discarded_answers();
    return t;
}

sim::server_options faulty(std::initializer_list<const char*> rules) {
    sim::server_options o = tvtest::with_faults(rules, 20261205);
    o.record_limit = 1;  // nothing to inspect: keep the record small
    return o;
}

// Runs `reads_per_worker` reads in each worker against the default fabric at `base` with the
// fault rules; the workers' counts, added up.
tally run_schedule(const char* base, std::initializer_list<const char*> rules, int reads_per_worker) {
    const auto expected = expected_of(sim::default_fabric(inet_addr(base)));
    std::array<int, 2> go{}, results{};
    EXPECT_EQ(0, ::pipe(go.data()));
    EXPECT_EQ(0, ::pipe(results.data()));
    std::vector<pid_t> children;
    for (int w = 0; w < workers; ++w) {
        const pid_t pid = ::fork();
        EXPECT_GE(pid, 0);
        if (pid == 0) {
            char start = 0;
            if (::read(go[0], &start, 1) != 1) ::_exit(2);
            const tally t = run_worker(expected, w, reads_per_worker, base);
            ::_exit(::write(results[1], &t, sizeof t) == sizeof t ? 0 : 3);
        }
        children.push_back(pid);
    }
    tally total;
    {
        tvtest::running_fabric fab{base, faulty(rules)};
        const std::string starts(workers, 'g');
        EXPECT_EQ(workers, ::write(go[1], starts.data(), starts.size()));
        for (int w = 0; w < workers; ++w) {
            tally t;
            EXPECT_EQ(static_cast<ssize_t>(sizeof t), ::read(results[0], &t, sizeof t));
            total.right += t.right;
            total.wrong += t.wrong;
            total.no_response += t.no_response;
            total.other_failure += t.other_failure;
            total.spoiled += t.spoiled;
        }
    }
    for (const pid_t pid : children) {
        int status = 0;
        ::waitpid(pid, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    for (int fd : {go[0], go[1], results[0], results[1]}) ::close(fd);
    std::printf("fault schedule: %d right, %d wrong, %d without an answer, %u spoiled\n",
                total.right, total.wrong, total.no_response, total.spoiled);
    return total;
}

TEST(fault_schedule, reads_under_loss_duplication_and_reordering) {
    struct schedule {
        const char* base;
        std::initializer_list<const char*> rules;
        int reads_per_worker;
        int allowed_without_answer;  // every try of one exchange lost: rare, and said with 106
    };
    const std::array<schedule, 3> schedules{{
        {tvtest::addr::fault_schedule_base, {"drop,p=0.2", "duplicate,p=0.1", "reorder,p=0.1"}, 2500, 10},
        {tvtest::addr::fault_schedule_duplicate_base, {"duplicate"}, 1000, 0},
        {tvtest::addr::fault_schedule_mixed_base, {"duplicate,p=0.3", "drop,p=0.2"}, 1500, 10},
    }};
    for (const schedule& s : schedules) {
        const tally t = run_schedule(s.base, s.rules, s.reads_per_worker);
        EXPECT_EQ(0, t.wrong) << s.base;
        EXPECT_EQ(0, t.other_failure) << s.base;
        // Copies, late and reordered answers carry an old number or are the current answer
        // itself: none is ever refused as spoiled.
        EXPECT_EQ(0u, t.spoiled) << s.base;
        EXPECT_LE(t.no_response, s.allowed_without_answer) << s.base;
        EXPECT_EQ(workers * s.reads_per_worker, t.right + t.no_response) << s.base;
    }
}

// The tool's read commands against a fabric that answers everything twice: each run's output is
// the one the fabric gives without the fault, but for the uptime, which goes on counting.
class duplicated_answers : public tvtest::tool_test {
protected:
    duplicated_answers() : tool_test(tvtest::addr::fault_schedule_tool_base) {
        // Counters move only when a test moves the clock, so that outputs compare.
        with([](sim::fabric& f) { f.get<sim::diag_fabric_state>().manual = true; });
    }
};

std::string without_uptime(std::string out) {
    for (std::size_t at; (at = out.find("Uptime:")) != std::string::npos;)
        out.erase(at, out.find('\n', at) - at + 1);
    return out;
}

TEST_F(duplicated_answers, every_read_command_of_the_tool_succeeds_in_strict_mode) {
    const std::string ip = tvtest::addr::fault_schedule_tool_base;
    const std::vector<tvtest::args> reads{
        {"version", ip}, {"chassis_status", ip}, {"chassis_mode", ip}, {"chassis_tovs", ip},
        {"initiators", ip}, {"links", ip}, {"nameserver", ip}, {"port_status", ip, "all"},
        {"port_counts", ip, "all"}, {"port_state", ip, "all"}, {"port_type", ip, "all"},
        {"port_mfs_mode", ip, "all"}, {"port_steering", ip, "all"}, {"test_status", ip, "all"},
        {"get_zone", ip, "hd", "all"}, {"get_zone", ip, "sl", "all"}, {"ns_zone_type", ip},
        {"get_wwn_zone", ip}, {"get_trap_config", ip}, {"smlget", ip, "show", "port", "3"},
    };
    std::vector<std::string> clean;
    for (const auto& a : reads) clean.push_back(without_uptime(ok(a)));
    std::string why;
    fab.server().add_fault(*sim::parse_fault("duplicate", why));
    // A few runs each here; `make test-duplicates` makes 20.
    const char* more = std::getenv("TELVAR_DUPLICATE_RUNS");
    const int runs = more != nullptr ? std::max(1, std::atoi(more)) : 3;
    for (int run = 0; run < runs; ++run) {
        for (std::size_t i = 0; i < reads.size(); ++i) {
            const tvtest::tool_result r = telvar(reads[i]);
            EXPECT_EQ(0, r.status) << reads[i][0] << "\n" << r.err;
            EXPECT_EQ(clean[i], without_uptime(r.out)) << reads[i][0];
        }
    }
}

TEST_F(duplicated_answers, a_busy_switch_is_named_and_the_error_text_stays) {
    const std::string ip = tvtest::addr::fault_schedule_tool_base;
    std::string why;
    fab.server().add_fault(*sim::parse_fault("status=3,cmd=7", why));
    const tvtest::tool_result text = telvar({"version", ip});
    EXPECT_EQ(2, text.status);
    EXPECT_EQ("Error: Unrecognized error (107)\n", text.out);
    EXPECT_EQ("telvar: the switch is busy: the command may be retried\n", text.err);
    const tvtest::tool_result json = telvar({"--json", "version", ip});
    EXPECT_EQ(2, json.status);
    EXPECT_NE(std::string::npos, json.out.find(R"("busy": true)")) << json.out;
}

}  // namespace
