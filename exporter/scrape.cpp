// The reads of one scrape (see scrape.h).
//
// Each target gets a context of its own for the scrape. Its switch is read through the default
// destination; with the fabric walk (telvar/data/fabric_walk.h, the snapshot's), the switches
// its links lead to are then read through the same context by their FC addresses. The name
// server, which every switch of a fabric answers for the whole fabric, is walked once per
// target, last: it is the longest read and the one a monitor can best do without.
#include "exporter/scrape.h"

#include <map>
#include <memory>
#include <set>
#include <vector>

#include "telvar/data/fabric_walk.h"
#include "telvar/data/json_records.h"
#include "tv_api/command_support.h"
#include "tv_api/lanes.h"

namespace exporter {

namespace {

namespace J = telvar::json;
namespace W = telvar::fabric;

struct free_deleter {
    void operator()(void* p) const { std::free(p); }
};

double seconds_since(steady::time_point t) {
    return std::chrono::duration<double>(steady::now() - t).count();
}

// The reads of one switch through a context, each left out once the deadline has passed or the
// switch has stopped answering (a switch that times out once would only time out again).
class switch_reader {
public:
    switch_reader(tv_context* ctx, steady::time_point deadline, bool& exceeded, switch_sample& s)
        : ctx_(ctx), deadline_(deadline), exceeded_(exceeded), s_(s) {}

    tv_context* ctx() const { return ctx_; }
    switch_sample& sample() { return s_; }
    bool silent() const { return silent_; }

    // Runs one operation (it returns a status code); false, with the error counted, when it
    // failed or was left out.
    template <class Operation>
    bool read(Operation&& operation) {
        if (silent_) return failed();
        if (steady::now() >= deadline_) {
            exceeded_ = true;
            return failed();
        }
        const int32_t code = operation();
        if (code == TV_OK) return true;
        silent_ = code == TV_ERR_NO_RESPONSE || code == TV_ERR_SEND;
        if (code == TV_ERR_SWITCH_BUSY) ++s_.busy;
        return failed();
    }

private:
    bool failed() {
        ++s_.errors;
        return false;
    }

    tv_context* ctx_;
    steady::time_point deadline_;
    bool& exceeded_;
    switch_sample& s_;
    bool silent_ = false;
};

bool read_identity(switch_reader& r, W::visit& at) {
    tv_version_info v{};
    if (!r.read([&] { return at.read_identity(v); })) return false;
    r.sample().up = true;
    r.sample().wwn = J::wwn_text(v.wwn);
    if (r.sample().fc_address == 0) r.sample().fc_address = at.address();
    return true;
}

// The user and password of the switches reached through a target.
struct login {
    std::string user, password;
};

login login_for(const scrape_options& o, const std::string& target) {
    const auto it = o.logins.find(target);
    return it != o.logins.end() ? login{it->second.first, it->second.second} : login{o.user, o.password};
}

// The links, for the walk to go on along. A far end that did not give its WWN is no failure of
// this switch: the walk finds out about it when it gets there.
void read_links(switch_reader& r, W::visit& at) {
    r.read([&] {
        const int32_t code = at.read_links();
        return at.links_listed() ? TV_OK : code;
    });
}

void read_ports(switch_reader& r) {
    tv_port_types types{};
    tv_port_state states{};
    if (r.read([&] { return tv_get_port_types(r.ctx(), &types); })) {
        r.read([&] { return tv_get_port_state(r.ctx(), &states); });
        for (std::uint32_t i = 0; i < types.count; ++i) {
            port_sample p;
            p.port = i;
            p.type = types.types[i];
            if (i < states.count) p.state = states.entries[i];
            tv_port_counters c{};
            if (r.read([&] { return tv_get_port_counters(r.ctx(), static_cast<std::uint8_t>(i), &c); }))
                p.counters = c;
            r.sample().ports.push_back(p);
        }
    }
    tv_free_port_types(&types);
    tv_free_port_state(&states);
}

// Everything after the identity; the links first, when the fabric is walked.
void read_rest(switch_reader& r, W::visit& at, bool links) {
    if (links) read_links(r, at);
    tv_chassis_status cs{};
    if (r.read([&] { return tv_get_chassis_status(r.ctx(), &cs); })) r.sample().chassis = cs;
    tv_sysconfig cfg{};
    if (r.read([&] { return tv_get_snmp_sysconfig(r.ctx(), &cfg); })) r.sample().uptime = cfg.uptime;
    read_ports(r);
}

// The name server's objects by chassis number; nullopt when the walk failed or was cut short.
// Each query asks for the first object after the last address, so an answer at or below it
// means the switch has come round to the start: the walk ends there, or when the switch reports
// no more objects, after at most one query per 24-bit address and with nothing kept per object.
std::optional<std::map<int, std::int64_t>> count_objects(switch_reader& r,
                                                         const std::vector<std::uint32_t>& switches) {
    std::map<int, std::int64_t> by_chassis;
    if (tv::lanes_usable(r.ctx())) {
        // Each switch walks the range of the name server from its own address on.
        if (!r.read([&] {
                return tv::walk_nameserver_ranges(*r.ctx(), switches, [&](const tv_nameserver_entry& e) {
                    ++by_chassis[W::chassis_of(e.port_id)];
                    return true;
                });
            }))
            return std::nullopt;
        return by_chassis;
    }
    std::uint32_t address = 0;
    for (;;) {
        tv_nameserver_entry* raw = nullptr;
        if (!r.read([&] { return tv_snsgetall(r.ctx(), address, &raw, 1); })) return std::nullopt;
        const std::unique_ptr<tv_nameserver_entry, free_deleter> e{raw};
        if (!e || e->port_id <= address) return by_chassis;
        address = e->port_id;
        ++by_chassis[W::chassis_of(e->port_id)];
    }
}

class scraper {
public:
    scraper(const scrape_options& o, scrape_result& out)
        : o_(o), out_(out), deadline_(steady::now() + o.deadline) {}

    void target(const std::string& ip) {
        const std::size_t first = out_.switches.size();
        const auto started = steady::now();
        switch_sample seed(ip);
        const tv::owned_context<&tv_close> ctx{tv_open(ip.c_str())};
        if (!ctx) {
            ++seed.errors;
            return finish(std::move(seed), started);
        }
        // With a user the walk logs into every switch after its identity is read (switches that
        // require a login refuse everything else) and out of it after its reads. The target's
        // own switch stays logged into through the walk and the name server: its logout is the
        // scrape's last word to the target.
        const login l = login_for(o_, ip);
        if (!l.user.empty()) W::use_login(ctx.get(), l.user.c_str(), l.password.c_str());
        switch_reader seed_reader(ctx.get(), deadline_, out_.deadline_exceeded, seed);
        bool seed_logged_in = false;
        std::optional<std::size_t> seed_at;  // in out_.switches, once read
        const W::walk_options walk{.follow_links = o_.fabric, .follow_failed_links = true};
        // The switches are read side by side where they are slow: each visit's sample waits
        // for its turn, so that they come out in the walk's order.
        std::map<int, switch_sample> done;
        bool seed_read = false;
        W::walk_side_by_side(ctx.get(), std::nullopt, walk, [&](W::visit& at, int k) {
            if (k != 0) {
                if (auto s = read_switch(ip, at)) done.emplace(k, std::move(*s));
                return;
            }
            const auto end_seed = [&] { done.emplace(0, finished(std::move(seed), started)); };
            if (!read_identity(seed_reader, at)) return end_seed();
            if (!wwns_.insert(seed.wwn).second) return;  // read already, through another target
            if (!seed_reader.read([&] { return at.log_in(); })) return end_seed();
            seed_logged_in = at.logged_in();
            at.hand_over_login();
            read_rest(seed_reader, at, o_.fabric);
            seed_read = true;
            end_seed();
        });
        std::vector<std::uint32_t> switches;
        for (auto& [k, s] : done) {
            if (k == 0 && seed_read) seed_at = out_.switches.size();
            if (s.up) switches.push_back(s.fc_address);
            out_.switches.push_back(std::move(s));
        }
        if (!seed_at) return;  // nothing logged into: the seed was not read

        // The name server, through the target's own switch (also where its logout goes).
        const auto walk_started = steady::now();
        switch_sample& s = out_.switches[*seed_at];
        if (o_.fabric) tv_set_dest_addr(ctx.get(), s.fc_address);
        switch_reader ns(ctx.get(), deadline_, out_.deadline_exceeded, s);
        const auto counts = count_objects(ns, switches);
        if (seed_logged_in && !seed_reader.silent() && !ns.silent()) tv_logout(ctx.get());
        if (counts) {
            std::int64_t total = 0;
            for (const auto& [chassis, n] : *counts) total += n;
            out_.fabric_objects[ip] = total;
            for (std::size_t i = first; i < out_.switches.size(); ++i) {
                switch_sample& sw = out_.switches[i];
                if (!sw.up) continue;
                const auto it = counts->find(W::chassis_of(sw.fc_address));
                sw.name_server_objects = it == counts->end() ? 0 : it->second;
            }
        }
        s.seconds += seconds_since(walk_started);
    }

private:
    // A switch the walk reached through the links: read once (by WWN), logged into for the
    // time of its reads. One that stopped answering is not asked to log out: it would only
    // time out again.
    // Its sample, unless the switch was read already through another target.
    std::optional<switch_sample> read_switch(const std::string& ip, W::visit& at) {
        const auto started = steady::now();
        switch_sample s(ip, at.address());
        switch_reader r(at.ctx(), deadline_, out_.deadline_exceeded, s);
        if (read_identity(r, at) && !wwns_.insert(s.wwn).second) return std::nullopt;
        if (s.up && r.read([&] { return at.log_in(); })) read_rest(r, at, true);
        if (r.silent()) at.hand_over_login();
        return finished(std::move(s), started);
    }

    static switch_sample finished(switch_sample s, steady::time_point started) {
        s.seconds = seconds_since(started);
        return s;
    }

    void finish(switch_sample s, steady::time_point started) { out_.switches.push_back(finished(std::move(s), started)); }

    const scrape_options& o_;
    scrape_result& out_;
    const steady::time_point deadline_;
    std::set<std::string> wwns_;  // of the switches read so far
};

}  // namespace

scrape_result scrape(const std::vector<std::string>& targets, const scrape_options& options) {
    const auto started = steady::now();
    scrape_result out;
    scraper s(options, out);
    for (const std::string& t : targets) s.target(t);
    out.seconds = seconds_since(started);
    return out;
}

}  // namespace exporter
