// A reading as items, the changes between readings under the rules for switches that do not
// answer, and the fabric rebuilt at a time (see fabric_items.h).
#include "history/fabric_items.h"

#include <algorithm>
#include <climits>
#include <map>
#include <set>
#include <tuple>

#include "history/time_text.h"

namespace telvar::history {

namespace {

// Orders keys as a person reads them: numbers by value, before any text.
struct reading_order {
    static bool number(const std::string& k) {
        return !k.empty() && std::all_of(k.begin(), k.end(), [](char c) { return c >= '0' && c <= '9'; });
    }
    bool operator()(const std::string& a, const std::string& b) const {
        if (number(a) != number(b)) return number(a);
        if (number(a) && a.size() != b.size()) return a.size() < b.size();
        return a < b;
    }
};

// An item's identity within its fabric.
using item_id = std::tuple<std::string, std::string, std::string>;  // scope, kind, key
using item_map = std::map<item_id, std::string>;

const json& member(const json& j, const char* key) {
    static const json none;
    return j.is_object() && j.contains(key) ? j[key] : none;
}

const json& list(const json& j, const char* key) {
    static const json empty = json::array();
    const json& m = member(j, key);
    return m.is_array() ? m : empty;
}

std::string text(const json& j, const char* key) {
    const json& m = member(j, key);
    return m.is_string() ? m.get<std::string>() : std::string();
}

std::string key_text(const json& v) { return v.is_string() ? v.get<std::string>() : v.dump(); }

json without(json j, std::initializer_list<const char*> keys) {
    if (j.is_object())
        for (const char* k : keys) j.erase(k);
    return j;
}

bool answers(const json& status) { return !status.is_object() || status.value("code", 0) == 0; }

// The items of one switch record, under `wwn`, but for its switch item.
void switch_parts(const json& sw, const std::string& wwn, item_map& out) {
    const auto put = [&](const char* kind, const std::string& key, const json& value) {
        if (!value.is_null()) out[{wwn, kind, key}] = value.dump();
    };
    put("identity", "", member(sw, "identity"));
    // What moves on its own (as diff leaves it out without --all) is no change of the fabric.
    put("chassis", "", without(member(sw, "chassis_status"), {"temperature"}));
    put("system", "", without(member(sw, "system"), {"uptime"}));
    if (sw.contains("initiators")) put("initiators", "", member(sw, "initiators"));
    for (const json& p : list(sw, "ports")) {
        const std::string n = key_text(member(p, "port"));
        put("port", n, without(p, {"counters", "devices", "attached"}));
        put("attached", n, member(p, "attached"));
    }
    for (const json& l : list(sw, "links")) put("link", key_text(member(l, "port")), l);
    for (const json& r : list(sw, "routes")) put("route", key_text(member(r, "chassis")), r);
    if (const json& z = member(sw, "zoning"); z.is_object()) {
        put("ns_zoning", "", json{{"ns_zoning", member(z, "ns_zoning")}});
        for (const char* type : {"hard", "name_server", "broadcast", "sl"})
            for (const json& zone : list(z, type)) put("zone", std::string(type) + " " + key_text(member(zone, "id")), zone);
        for (const json& e : list(z, "wwn")) put("wwn_zone", text(e, "wwn"), e);
    }
    if (const json& t = member(sw, "traps"); t.is_object()) {
        put("traps", "", without(t, {"codes"}));
        for (const json& c : list(t, "codes")) put("trap_code", key_text(member(c, "code")), c);
    }
}

// What a switch item holds: where the switch is and whether it answered.
json switch_value(const json& sw) {
    return {{"fc_address", member(sw, "fc_address")}, {"chassis", member(sw, "chassis")}, {"status", member(sw, "status")}};
}

switch_ref ref_of(const std::string& wwn, const json& value) {
    return {wwn, text(value, "fc_address"), member(value, "chassis").is_number_integer() ? value["chassis"].get<int>() : -1};
}

// The switches of a set of items: WWN -> switch item value.
std::map<std::string, json> switches_of(const item_map& items) {
    std::map<std::string, json> out;
    for (const auto& [id, value] : items)
        if (std::get<1>(id) == "switch") out[std::get<0>(id)] = json::parse(value);
    return out;
}

class comparison {
public:
    comparison(const std::vector<item>& last, const std::string& fabric, time_ms at) : fabric_(fabric), at_(at) {
        for (const item& i : last) last_[{i.scope, i.kind, i.key}] = i.value;
        known_ = switches_of(last_);
    }

    reading run(const json& snapshot) {
        reading r{fabric_, at_, {}};
        const bool first = last_.empty();
        item_map now;
        std::map<std::string, json> seen;   // WWN -> switch item value, of every record read
        std::set<std::string> silent;       // switches that did not answer in full
        // A walk that could not read the name server (or reach the fabric at all) saw part of it.
        const json& ns_status = member(member(snapshot, "name_server"), "status");
        bool incomplete = !ns_status.is_object() || !answers(ns_status);
        for (const json& sw : list(snapshot, "switches")) {
            std::string wwn = text(member(sw, "identity"), "wwn");
            if (wwn.empty()) wwn = known_by_address(text(sw, "fc_address"));
            if (wwn.empty()) {  // a switch never identified: nothing to record it under
                incomplete = true;
                continue;
            }
            json value = switch_value(sw);
            if (!answers(member(sw, "status"))) {
                silent.insert(wwn);
                incomplete = true;
                // It answered, but not everything of it could be read (a neighbour that did
                // not answer stops the walk's reading of its links): it keeps what it had.
                if (member(sw, "partial") == true) value["status"] = {{"code", 0}, {"message", "OK"}};
            }
            seen[wwn] = value;
            switch_parts(sw, wwn, now);
        }
        // A switch known before and not reached now left the fabric only when the walk saw
        // all of it; otherwise it is one that did not answer.
        for (const auto& [wwn, value] : known_)
            if (!seen.contains(wwn) && incomplete) {
                json v = value;
                v["status"] = {{"code", -1}, {"message", "not reached"}};
                seen[wwn] = v;
                silent.insert(wwn);
            }
        std::set<int> silent_chassis;
        for (const std::string& wwn : silent) silent_chassis.insert(ref_of(wwn, seen[wwn]).chassis);

        // Switch items: only whether a switch answers is news, not the words of its failure.
        for (const auto& [wwn, value] : seen) {
            const auto it = known_.find(wwn);
            if (it == known_.end()) {
                emit(r, {wwn, "switch", ""}, "", value.dump(), ref_of(wwn, value), !first);
                continue;
            }
            json before = it->second, after = value;
            const bool was = answers(member(before, "status")), is = answers(member(after, "status"));
            if (was == is && !is) continue;  // still silent
            if (was == is) {  // answering then and now: compare what it is and where
                after["status"] = before["status"];
                if (before == after) continue;
            }
            emit(r, {wwn, "switch", ""}, before.dump(), value.dump(), ref_of(wwn, value), true);
        }
        for (const auto& [wwn, value] : known_)
            if (!seen.contains(wwn)) emit(r, {wwn, "switch", ""}, value.dump(), "", ref_of(wwn, value), true);
        // Everything else of the switches that answered; the silent ones keep theirs.
        const auto kept = [&](const item_id& id) {
            const std::string& scope = std::get<0>(id);
            // A switch read for the first time keeps what could be read of it.
            return !scope.empty() && silent.contains(scope) && known_.contains(scope);
        };
        for (const auto& [id, value] : last_) {
            const std::string& scope = std::get<0>(id);
            if (std::get<1>(id) == "switch" || scope.empty() || kept(id) || now.contains(id)) continue;
            const bool switch_left = !seen.contains(scope);
            emit(r, id, value, "", ref_of(scope, known_.contains(scope) ? known_.at(scope) : json()), !switch_left && shown_kind(std::get<1>(id)));
        }
        for (const auto& [id, value] : now) {
            const std::string& scope = std::get<0>(id);
            if (kept(id)) continue;
            const auto it = last_.find(id);
            if (it != last_.end() && it->second == value) continue;
            const bool switch_joined = !known_.contains(scope);
            emit(r, id, it == last_.end() ? "" : it->second, value, ref_of(scope, seen[scope]),
                 !first && !switch_joined && shown_kind(std::get<1>(id)));
        }
        devices(r, snapshot, seen, silent_chassis, first);
        if (first) {
            const json counts{{"switches", seen.size()}, {"devices", list(member(snapshot, "name_server"), "devices").size()}};
            change_row row;
            row.at = at_;
            row.fabric = fabric_;
            row.kind = "fabric";
            row.after = counts.dump();
            r.changes.insert(r.changes.begin(), std::move(row));
        }
        return r;
    }

private:
    // Rows that follow from another row are kept for rebuilding, not shown.
    static bool shown_kind(const std::string& kind) { return kind != "attached" && kind != "initiators"; }

    std::string known_by_address(const std::string& fc_address) const {
        if (fc_address.empty()) return {};
        for (const auto& [wwn, value] : known_)
            if (text(value, "fc_address") == fc_address) return wwn;
        return {};
    }

    void emit(reading& r, const item_id& id, std::string before, std::string after, switch_ref sw, bool shown) {
        change_row row;
        row.at = at_;
        row.fabric = fabric_;
        row.sw = std::move(sw);
        std::tie(row.scope, row.kind, row.key) = id;
        row.before = std::move(before);
        row.after = std::move(after);
        row.shown = shown;
        r.changes.push_back(std::move(row));
    }

    // The switch a device is on, by its chassis number.
    static switch_ref device_switch(const json& device, const std::map<std::string, json>& switches) {
        const json& chassis = member(device, "chassis");
        for (const auto& [wwn, value] : switches)
            if (member(value, "chassis") == chassis) return ref_of(wwn, value);
        return {};
    }

    void devices(reading& r, const json& snapshot, const std::map<std::string, json>& seen,
                 const std::set<int>& silent_chassis, bool first) {
        const json& ns = member(snapshot, "name_server");
        if (!member(ns, "status").is_object() || !answers(member(ns, "status"))) return;  // unread: every device stays
        std::map<std::string, std::string> now;
        for (const json& d : list(ns, "devices")) now[text(d, "port_wwn")] = d.dump();
        for (const auto& [id, value] : last_) {
            if (std::get<1>(id) != "device" || now.contains(std::get<2>(id))) continue;
            const json d = json::parse(value);
            if (silent_chassis.contains(member(d, "chassis").is_number_integer() ? d["chassis"].get<int>() : -1)) continue;
            emit(r, id, value, "", device_switch(d, known_), true);
        }
        for (const auto& [wwn, value] : now) {
            const item_id id{"", "device", wwn};
            const auto it = last_.find(id);
            if (it != last_.end() && it->second == value) continue;
            emit(r, id, it == last_.end() ? "" : it->second, value, device_switch(json::parse(value), seen), !first);
        }
    }

    std::string fabric_;
    time_ms at_;
    item_map last_;
    std::map<std::string, json> known_;
};


// The snapshot document of a set of items.
json document(const item_map& items, const std::string& fabric, time_ms taken_at) {
    struct parts {
        json record = json::object();
        std::map<std::string, json, reading_order> ports, attached,
            links, routes, codes;
        std::map<std::string, std::map<std::string, json, reading_order>> zones;
        std::map<std::string, json> wwn_zones;
        bool zoning = false;
    };
    std::map<std::string, parts> switches;
    std::vector<json> devices;
    for (const auto& [id, value] : items) {
        const auto& [scope, kind, key] = id;
        json v = json::parse(value);
        if (kind == "device") {
            devices.push_back(std::move(v));
            continue;
        }
        if (scope.empty()) continue;
        parts& p = switches[scope];
        if (kind == "switch") {
            for (auto it = v.begin(); it != v.end(); ++it) p.record[it.key()] = it.value();
        } else if (kind == "identity") {
            p.record["identity"] = std::move(v);
        } else if (kind == "chassis") {
            p.record["chassis_status"] = std::move(v);
        } else if (kind == "system" || kind == "initiators") {
            p.record[kind] = std::move(v);
        } else if (kind == "port") {
            p.ports[key] = std::move(v);
        } else if (kind == "attached") {
            p.attached[key] = std::move(v);
        } else if (kind == "link") {
            p.links[key] = std::move(v);
        } else if (kind == "route") {
            p.routes[key] = std::move(v);
        } else if (kind == "ns_zoning") {
            p.record["zoning"]["ns_zoning"] = member(v, "ns_zoning");
            p.zoning = true;
        } else if (kind == "zone") {
            const auto space = key.find(' ');
            if (space != std::string::npos) p.zones[key.substr(0, space)].emplace(key.substr(space + 1), std::move(v));
        } else if (kind == "wwn_zone") {
            p.wwn_zones[key] = std::move(v);
        } else if (kind == "traps") {
            for (auto it = v.begin(); it != v.end(); ++it) p.record["traps"][it.key()] = it.value();
        } else if (kind == "trap_code") {
            p.codes[key] = std::move(v);
        }
    }
    std::sort(devices.begin(), devices.end(),
              [](const json& a, const json& b) { return text(a, "fc_address") < text(b, "fc_address"); });

    json out_switches = json::array();
    std::vector<std::pair<int, json>> ordered;
    for (auto& [wwn, p] : switches) {
        if (!p.record.contains("fc_address")) continue;  // parts of a switch no longer in the fabric
        json& sw = p.record;
        const json chassis = member(sw, "chassis");
        json ports = json::array();
        for (auto& [n, port] : p.ports) {
            if (const auto a = p.attached.find(n); a != p.attached.end()) port["attached"] = a->second;
            json on = json::array();
            for (const json& d : devices)
                if (member(d, "chassis") == chassis && key_text(member(d, "port")) == n) on.push_back(member(d, "fc_address"));
            port["devices"] = std::move(on);
            ports.push_back(std::move(port));
        }
        sw["ports"] = std::move(ports);
        for (auto [name, from] : {std::pair{"links", &p.links}, std::pair{"routes", &p.routes}}) {
            json a = json::array();
            for (auto& [k, v] : *from) a.push_back(std::move(v));
            sw[name] = std::move(a);
        }
        if (p.zoning) {
            for (const char* type : {"hard", "name_server", "broadcast", "sl"}) {
                json a = json::array();
                for (auto& [k, v] : p.zones[type]) a.push_back(std::move(v));
                sw["zoning"][type] = std::move(a);
            }
            json w = json::array();
            for (auto& [k, v] : p.wwn_zones) w.push_back(std::move(v));
            sw["zoning"]["wwn"] = std::move(w);
        }
        if (sw.contains("traps")) {
            json codes = json::array();
            for (auto& [k, v] : p.codes) codes.push_back(std::move(v));
            sw["traps"]["codes"] = std::move(codes);
        }
        ordered.emplace_back(chassis.is_number_integer() ? chassis.get<int>() : 0, std::move(sw));
    }
    std::stable_sort(ordered.begin(), ordered.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    for (auto& [c, sw] : ordered) out_switches.push_back(std::move(sw));
    return {{"format", "telvar-snapshot"},
            {"version", 1},
            {"source", fabric},
            {"taken_at", time_text(taken_at)},
            {"name_server", {{"devices", std::move(devices)}, {"status", {{"code", 0}, {"message", "OK"}}}}},
            {"switches", std::move(out_switches)}};
}

}  // namespace

reading changes_since(const std::vector<item>& last, const json& snapshot, const std::string& fabric, time_ms at) {
    return comparison(last, fabric, at).run(snapshot);
}

json rebuild(store& s, const std::string& fabric, time_ms at) {
    const std::vector<time_ms> times = s.readings(fabric, 0, at);
    if (times.empty())
        throw store_error("the history holds no reading of " + fabric + " at or before " + time_text(at) +
                          (s.readings(fabric, 0, INT64_MAX).empty() ? "" : " (earlier readings are no longer kept, or it was watched later)"));
    item_map items;
    for (const item& i : s.items(fabric)) items[{i.scope, i.kind, i.key}] = i.value;
    for (const change_row& c : s.changes_after(fabric, at)) {
        const item_id id{c.scope, c.kind, c.key};
        if (c.before.empty())
            items.erase(id);
        else
            items[id] = c.before;
    }
    return document(items, fabric, times.back());
}

}  // namespace telvar::history
