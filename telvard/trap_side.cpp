// The watcher's traps (see trap_side.h).
#include "telvard/trap_side.h"

#include <arpa/inet.h>

#include <algorithm>
#include <cstdio>

#include "telvard/fabric_reading.h"
#include "telvard/events/registration.h"
#include "telvard/readings.h"
#include "tv_api/command_support.h"

namespace telvard {

namespace E = telvar::events;
namespace H = telvar::history;
using nlohmann::json;

namespace {

std::uint32_t fc_of(const std::string& text) {
    return text.empty() ? 0 : static_cast<std::uint32_t>(std::stoul(text, nullptr, 16));
}

bool answered(const json& sw) {
    return sw.is_object() && sw.contains("identity") && sw.value("status", json::object()).value("code", 0) == 0;
}

// A context to the fabric's address, logged in wherever the credentials say, for `each` switch.
template <class F>
void with_each_switch(const std::string& fabric, const telvar::credentials::file& logins,
                      const std::vector<std::uint32_t>& switches, F&& each) {
    const telvar::credentials::entry* login = logins.find(fabric);
    const tv::owned_context<&tv_close> ctx = open_fabric(fabric, login);
    if (!ctx) return;
    for (const std::uint32_t fc : switches) {
        tv_set_dest_addr(ctx.get(), fc);
        if (login != nullptr && tv_login(ctx.get(), nullptr, nullptr) != TV_OK) continue;
        each(ctx.get(), fc);
        if (login != nullptr) tv_logout(ctx.get());
    }
}

std::string status_words(int32_t code) {
    const char* text = tv_status_text(code);
    std::string out = text != nullptr ? text : "status " + std::to_string(code);
    while (!out.empty() && out.back() == '\n') out.pop_back();
    return out;
}

}  // namespace

trap_side::trap_side(const settings& s, H::store& store, const telvar::credentials::file& logins)
    : store_(store), logins_(logins), receiver_(E::receiver_options{"0.0.0.0", static_cast<std::uint16_t>(s.trap_port)}) {
    if (s.syslog || !s.syslog_socket.empty()) {
        E::syslog_options o;
        o.socket_path = s.syslog_socket;
        syslog_.emplace(std::move(o));
    }
    if (!s.alertmanager.empty()) {
        E::alertmanager_options o;
        o.url = s.alertmanager;
        o.hold = std::chrono::seconds(s.alert_hold_s);
        alerts_ = std::make_unique<E::alertmanager_sink>(std::move(o));
    }
}

void trap_side::after_reading(const std::string& fabric, const json& snapshot) {
    in_addr gateway{};
    inet_pton(AF_INET, fabric.c_str(), &gateway);
    std::vector<H::switch_ref> switches;
    std::vector<in_addr> senders;
    std::vector<std::uint32_t> answering;
    for (const json& sw : snapshot.value("switches", json::array())) {
        if (!sw.contains("identity")) continue;
        const std::string fc = sw.value("fc_address", "");
        switches.push_back({sw["identity"].value("wwn", ""), fc, sw.value("chassis", -1)});
        if (answered(sw) || sw.value("partial", false)) answering.push_back(fc_of(fc));
        // Switches with addresses of their own may send their traps from them: their
        // neighbours' ports say which.
        for (const json& p : sw.value("ports", json::array())) {
            const json& attached = p.value("attached", json::object());
            in_addr a{};
            if (attached.is_object() && attached.contains("switch") &&
                inet_pton(AF_INET, attached["switch"].value("ip", "").c_str(), &a) == 1 && a.s_addr != 0)
                senders.push_back(a);
        }
    }
    // A switch that did not answer this time may still send traps: what was known stays known.
    for (const H::switch_ref& known : watched_[fabric])
        if (std::none_of(switches.begin(), switches.end(), [&](const H::switch_ref& r) { return r.wwn == known.wwn; }))
            switches.push_back(known);
    watched_[fabric] = switches;
    receiver_.watch(fabric, gateway, switches, senders);
    const sockaddr_in local = receiver_.local();
    with_each_switch(fabric, logins_, answering, [&](tv_context* ctx, std::uint32_t fc) {
        const E::registration_result r = E::ensure_registered(ctx, fc, local.sin_addr, ntohs(local.sin_port));
        // Said when it starts failing, not again at every reading.
        int32_t& last = last_status_[{fabric, fc}];
        if (r.status != TV_OK && r.status != last)
            std::fprintf(stderr, "telvard: %s: switch 0x%06x: could not register for its traps: %s\n", fabric.c_str(), fc,
                         status_words(r.status).c_str());
        last = r.status;
        // Ours to remove at shutdown, whether made now or found from an earlier run.
        if (r.status == TV_OK && std::none_of(registered_.begin(), registered_.end(), [&](const registered& g) {
                return g.fabric == fabric && g.fc == fc;
            }))
            registered_.push_back({fabric, fc});
    });
}

std::size_t trap_side::drain() {
    const std::vector<H::event_row> events = receiver_.take(now_ms());
    for (const H::event_row& e : events) {
        try {
            store_.record(e);
        } catch (const H::store_error& error) {
            std::fprintf(stderr, "telvard: a trap was not stored: %s\n", error.what());
        }
        if (syslog_) syslog_->send(e);
        if (alerts_) alerts_->post(e);
    }
    if (const std::string said = E::describe(receiver_.refused()); said != refused_said_) {
        std::fprintf(stderr, "telvard: %s\n", said.c_str());
        refused_said_ = said;
    }
    return events.size();
}

void trap_side::release() {
    const sockaddr_in local = receiver_.local();
    std::map<std::string, std::vector<std::uint32_t>> by_fabric;
    for (const registered& g : registered_) by_fabric[g.fabric].push_back(g.fc);
    for (const auto& [fabric, switches] : by_fabric)
        with_each_switch(fabric, logins_, switches, [&](tv_context* ctx, std::uint32_t fc) {
            E::unregister(ctx, fc, local.sin_addr, ntohs(local.sin_port));
        });
    registered_.clear();
    if (alerts_) alerts_->stop(std::chrono::seconds(2));
}

}  // namespace telvard
