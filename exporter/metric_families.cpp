// The metric families of a scrape (see metric_families.h).
//
// Every metric of a switch carries the labels target (the address given on the command line)
// and switch (its FC address, "0x104000"); a port's metrics add port (counted from 1, as in
// every report). Coded values are state sets: one sample per possible value, 1 for the value
// the switch reported, so that a query or an alert names the value it means.
#include "exporter/metric_families.h"

#include <array>
#include <map>
#include <string>

#include "telvar/data/json_records.h"
#include "telvar/framework/port_counter_table.h"

namespace exporter {

namespace {

namespace J = telvar::json;
using labels = std::vector<metric_label>;

// The families of a scrape, in the order their first sample came.
class family_set {
public:
    void add(const std::string& name, const char* help, metric_type type, labels l, double value) {
        auto [it, added] = at_.try_emplace(name, out_.size());
        if (added) out_.push_back(metric_family{name, help, type, {}});
        out_[it->second].samples.push_back(metric_sample{std::move(l), value});
    }
    void gauge(const std::string& name, const char* help, labels l, double value) {
        add(name, help, metric_type::gauge, std::move(l), value);
    }
    // One sample per code of `words`, 1 for `code` and 0 for the others.
    void state_set(const std::string& name, const char* help, const labels& l, const char* key,
                   std::int64_t count, std::string (*word)(std::int64_t), std::int64_t code) {
        for (std::int64_t c = 0; c < count; ++c) {
            labels with = l;
            with.push_back({key, word(c)});
            gauge(name, help, std::move(with), c == code ? 1 : 0);
        }
    }
    std::vector<metric_family> take() { return std::move(out_); }

private:
    std::vector<metric_family> out_;
    std::map<std::string, std::size_t> at_;
};

labels plus(labels l, const char* name, std::string value) {
    l.push_back({name, std::move(value)});
    return l;
}

void add_chassis(family_set& f, const labels& l, const tv_chassis_status& cs) {
    f.gauge("telvar_power_failed", "1 when the switch reports its power supply failed.", l, cs.power_status != 0);
    f.gauge("telvar_temperature_failed", "1 when the switch reports its temperature out of range.", l,
            cs.temp_status != 0);
    f.gauge("telvar_temperature_celsius", "Temperature of the switch.", l, cs.temperature * 0.5);
    // Fans not installed and a sensor state not determined (-1) give no sample.
    const std::array<std::int8_t, 2> fans{cs.fan1_status, cs.fan2_status};
    for (std::size_t i = 0; i < fans.size(); ++i)
        if (fans[i] >= 0)
            f.gauge("telvar_fan_failed", "1 when the switch reports the fan failed.",
                    plus(l, "fan", std::to_string(i + 1)), fans[i] != 0);
    if (cs.sensor_status >= 0)
        f.gauge("telvar_temperature_sensor_failed", "1 when the switch reports its temperature sensor failed.", l,
                cs.sensor_status != 0);
}

void add_port(family_set& f, const labels& sw, const port_sample& p) {
    const labels l = plus(sw, "port", std::to_string(p.port + 1));
    f.state_set("telvar_port_type", "Type of the port (one sample per type, 1 for the port's).", l, "type",
                TV_PORT_TYPE_TL + 1, J::port_type_word, p.type);
    if (p.state) {
        f.state_set("telvar_port_admin_state", "Administrative state of the port (one sample per state).", l,
                    "state", TV_PORT_STATE_INVALID + 1, J::port_state_word, p.state->admin);
        f.state_set("telvar_port_operational_state", "Operational state of the port (one sample per state).", l,
                    "state", TV_PORT_STATE_INVALID + 1, J::port_state_word, p.state->operational);
    }
    if (!p.counters) return;
    for (const telvar::port_counter& c : telvar::port_counters)
        f.add(std::string("telvar_port_") + c.name + "_total", c.help, metric_type::counter, l,
              p.counters->counter[c.word]);
}

void add_switch(family_set& f, const switch_sample& s) {
    const labels l{{"target", s.target}, {"switch", s.fc_address != 0 ? J::fc_address_text(s.fc_address) : ""}};
    f.gauge("telvar_up", "1 when the switch answered in this scrape.", l, s.up);
    f.gauge("telvar_scrape_errors", "Reads of the switch that failed, or that the deadline left out, in this scrape.",
            l, s.errors);
    f.gauge("telvar_scrape_busy_errors",
            "Reads the switch refused because it was busy (status 0x03) in this scrape; retrying may succeed.",
            l, s.busy);
    f.gauge("telvar_switch_scrape_duration_seconds", "Time spent reading the switch in this scrape.", l, s.seconds);
    if (!s.up) return;
    f.gauge("telvar_switch_info", "The switch's WWN, as a label.", plus(l, "wwn", s.wwn), 1);
    if (s.chassis) add_chassis(f, l, *s.chassis);
    if (s.uptime) f.gauge("telvar_uptime_seconds", "Time since the switch started.", l, *s.uptime / 100.0);
    if (s.name_server_objects)
        f.gauge("telvar_name_server_objects", "Name-server objects (logged-in device ports) attached to the switch.",
                l, static_cast<double>(*s.name_server_objects));
    for (const port_sample& p : s.ports) add_port(f, l, p);
}

}  // namespace

std::vector<metric_family> families_of(const scrape_result& r, std::uint64_t scrapes) {
    family_set f;
    f.add("telvar_scrapes_total", "Scrapes the exporter has made.", metric_type::counter, {},
          static_cast<double>(scrapes));
    f.gauge("telvar_scrape_duration_seconds", "Time the scrape took.", {}, r.seconds);
    f.gauge("telvar_scrape_deadline_exceeded", "1 when the scrape's deadline left reads out.", {},
            r.deadline_exceeded);
    for (const auto& [target, n] : r.fabric_objects)
        f.gauge("telvar_name_server_fabric_objects", "Name-server objects of the whole fabric, as the target's switch lists them.",
                {{"target", target}}, static_cast<double>(n));
    for (const switch_sample& s : r.switches) add_switch(f, s);
    return f.take();
}

}  // namespace exporter
