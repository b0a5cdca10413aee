// Runs the simulator's default fabric in-process, on a thread, at loopback addresses of the
// test's own, with every datagram recorded; and helpers to read the record. Also fabrics made
// for a test (from a fabric file's text or generated) and server options that spoil answers.
#pragma once

#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <chrono>
#include <initializer_list>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "support/saved_globals.h"
#include "switchsim/core/default_fabric.h"
#include "switchsim/core/fabric_file.h"
#include "switchsim/core/faults.h"
#include "switchsim/core/generated_fabric.h"
#include "switchsim/core/server.h"
#include "switchsim/families/chassis_family.h"
#include "switchsim/families/login_family.h"
#include "tv_api/tv_inter.h"

namespace tvtest {

// The fabric of `json`, its addresses moved together so that the first one is `base`.
inline sim::fabric fabric_at(const std::string& json, const char* base) {
    std::string why;
    auto f = sim::parse_fabric(json, why);
    if (!f) throw std::runtime_error(why);
    sim::move_addresses(*f, inet_addr(base));
    return std::move(*f);
}

// A generated fabric: a ring of `switches` with `devices` spread over them.
inline sim::fabric generated_fabric(std::size_t switches, std::size_t devices, const char* base) {
    return fabric_at(sim::generated_fabric_json({switches, devices}), base);
}

// Server options with the fault rules (in the simulator's --fault syntax) and a seed of their own.
inline sim::server_options with_faults(std::initializer_list<const char*> rules, std::uint32_t seed = 1) {
    sim::server_options o;
    o.seed = seed;
    for (const char* r : rules) {
        std::string why;
        const auto rule = sim::parse_fault(r, why);
        if (!rule) throw std::runtime_error(why);
        o.faults.push_back(*rule);
    }
    return o;
}

class running_fabric {
public:
    // Switch k of the default fabric (1 to 3) gets the address base + k - 1.
    explicit running_fabric(const std::string& base, sim::server_options o = {})
        : running_fabric(sim::default_fabric(inet_addr(base.c_str())), std::move(o)) {}
    // Any fabric, its addresses as they are.
    explicit running_fabric(sim::fabric f, sim::server_options o = {}) {
        o.record_limit = o.record_limit ? o.record_limit : 100000;
        srv_ = std::make_unique<sim::server>(std::move(f), o);
        std::string why;
        if (!srv_->bind(why)) throw std::runtime_error(why);
        srv_->start();
    }
    sim::server& server() { return *srv_; }

    // Reads or changes switch i (from 0) under the server's lock.
    template <class F>
    decltype(auto) on_switch(std::size_t i, F&& f) {
        return srv_->with_fabric([&](sim::fabric& fb) -> decltype(auto) { return f(fb.switches[i]); });
    }
    // A reset takes no time on any switch: for fabrics that run every_operation() more than
    // once, whose list ends with a reset.
    void without_reset_time() {
        srv_->with_fabric([](sim::fabric& f) {
            for (auto& s : f.switches) s.get<sim::chassis_state>().reset_ms = 0;
        });
    }
    // Switch i (from 0) requires a login or no longer does; with no i, every switch.
    void require_login(bool on, std::optional<std::size_t> i = {}) {
        srv_->with_fabric([&](sim::fabric& f) {
            for (std::size_t k = 0; k < f.switches.size(); ++k)
                if (!i || k == *i) f.switches[k].get<sim::login_state>().login_required = on;
        });
    }
    // The login sessions open on switch i; with no i, on every switch together.
    std::size_t sessions(std::optional<std::size_t> i = {}) {
        return srv_->with_fabric([&](sim::fabric& f) {
            std::size_t n = 0;
            for (std::size_t k = 0; k < f.switches.size(); ++k)
                if (!i || k == *i) n += f.switches[k].get<sim::login_state>().sessions.size();
            return n;
        });
    }
    // The account `id` of switch i, when it has one.
    std::optional<sim::user> user(std::size_t i, const std::string& id) {
        return on_switch(i, [&](sim::switch_state& s) -> std::optional<sim::user> {
            const sim::user* u = s.get<sim::login_state>().find_user(id);
            return u != nullptr ? std::optional(*u) : std::nullopt;
        });
    }

    // The requests that reached the fabric, in order (every one, whatever its fate).
    std::vector<std::vector<std::uint8_t>> requests() const {
        std::vector<std::vector<std::uint8_t>> out;
        for (const auto& r : srv_->records())
            if (r.dir == sim::record::direction::in) out.push_back(r.bytes);
        return out;
    }
    // The answers the fabric sent, in order.
    std::vector<std::vector<std::uint8_t>> answers() const {
        std::vector<std::vector<std::uint8_t>> out;
        for (const auto& r : srv_->records())
            if (r.dir == sim::record::direction::out) out.push_back(r.bytes);
        return out;
    }
    // Waits (bounded) until the fabric has seen `n` reset messages, which nothing answers.
    bool resets_seen(std::size_t n) const {
        for (int i = 0; i < 400; ++i) {
            std::size_t seen = 0;
            for (const auto& r : requests()) seen += r.size() == TV_HDR_LEN;
            if (seen >= n) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return false;
    }
    // The configuration sub-commands of the requests, in order (0 for other commands).
    std::vector<std::uint32_t> subcommands() const {
        std::vector<std::uint32_t> out;
        for (const auto& r : requests())
            out.push_back(tv::wire::get_be16(r, tv::off::command) == TV_CMD_CONFIG
                              ? tv::wire::get_be32(r, tv::off::subcmd)
                              : 0);
        return out;
    }

private:
    std::unique_ptr<sim::server> srv_;
};

// A fabric of the test's own, and a context on its first switch in normal mode.
class fabric_test : public ::testing::Test {
protected:
    explicit fabric_test(const char* base) : fab(base), base_(base) {}

    void SetUp() override {
        Discover = 0;
        tv_api_open(nullptr);
        ctx = tv_open(base_);
        ASSERT_NE(nullptr, ctx);
        fab.server().clear_records();
    }
    void TearDown() override { tv_close(ctx); }

    saved_globals globals_;  // made before the fabric: put back after everything else
    running_fabric fab;
    tv_context* ctx = nullptr;

private:
    const char* base_;
};

}  // namespace tvtest
