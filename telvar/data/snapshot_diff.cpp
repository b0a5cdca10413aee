// diff A.json B.json: what changed between two snapshots, one line per thing that changed, as
// an administrator names it: a switch joined or left, its firmware changed, a port went
// offline, a zone gained a member, a device logged out or moved to another port.
//
// Things are matched by what identifies them, not by their place in the document: switches by
// WWN, ports by number, zones by type and id, WWN-zone entries by WWN, links by local port,
// routes by destination chassis, trap codes by code, devices by port WWN. A device's move shows
// in the name server and in the device lists of two ports; only the name server's line is kept,
// and what is attached to a port (its devices, the switch at the far end of its link) is left
// to the name server's and the links' lines in the same way. Values that move on their own
// (uptime, temperature, the ports' counters) are compared only with --all.
#include <algorithm>
#include <map>
#include <set>

#include "telvar/cli/given_options.h"
#include "telvar/data/data_cmds.h"
#include "telvar/data/fabric_queries.h"
#include "telvar/framework/option_loop.h"

namespace telvar::data {

namespace {

struct change {
    std::string kind;     // switch, identity, chassis, system, port, link, route, zone, wwn_zone,
                          // ns_zoning, traps, device
    std::string subject;  // what changed, as the line names it
    std::string text;
    json before, after;
};

bool scalars(const json& v) {
    return v.is_array() && std::all_of(v.begin(), v.end(), [](const json& e) { return e.is_primitive(); });
}

// "key a -> b" for each member that differs; a list of plain values says what it gained and
// lost. Keys in `ignored` are left out.
std::string describe(const json& a, const json& b, const std::set<std::string>& ignored) {
    std::set<std::string> keys;
    for (const json* side : {&a, &b})
        if (side->is_object())
            for (auto it = side->begin(); it != side->end(); ++it) keys.insert(it.key());
    std::string out;
    for (const std::string& k : keys) {
        if (ignored.contains(k)) continue;
        const json va = a.is_object() && a.contains(k) ? a[k] : json();
        const json vb = b.is_object() && b.contains(k) ? b[k] : json();
        if (va == vb) continue;
        std::string part;
        if (scalars(va) && scalars(vb)) {
            std::string gained, lost;
            for (const json& e : vb)
                if (std::find(va.begin(), va.end(), e) == va.end()) gained += " " + value_text(k, e);
            for (const json& e : va)
                if (std::find(vb.begin(), vb.end(), e) == vb.end()) lost += " " + value_text(k, e);
            part = k + (gained.empty() ? "" : " gained" + gained) + (gained.empty() || lost.empty() ? "" : ",") +
                   (lost.empty() ? "" : " lost" + lost);
            if (gained.empty() && lost.empty()) part = k + " reordered";
        } else if (va.is_object() && vb.is_object()) {
            part = k + ": " + describe(va, vb, ignored);
        } else {
            part = k + " " + value_text(k, va) + " -> " + value_text(k, vb);
        }
        out += (out.empty() ? "" : ", ") + part;
    }
    return out;
}

const json& array_of(const json& j, const char* key) {
    static const json empty = json::array();
    return j.is_object() && j.contains(key) && j[key].is_array() ? j[key] : empty;
}

// Keys in the order a person reads them: numbers (ports, zone ids, chassis, trap codes) by
// value, so that port 2 comes before port 16, and before any text.
struct reading_order {
    static bool number(const std::string& k) {
        return !k.empty() && std::all_of(k.begin(), k.end(), [](char c) { return c >= '0' && c <= '9'; });
    }
    bool operator()(const std::string& a, const std::string& b) const {
        const bool na = number(a), nb = number(b);
        if (na != nb) return na;
        if (na && a.size() != b.size()) return a.size() < b.size();  // as written by dump(): no leading zeros
        return a < b;
    }
};

// The elements of an array keyed by `key` (a member, or the element's text when null).
std::map<std::string, json, reading_order> keyed(const json& list, const char* key) {
    std::map<std::string, json, reading_order> out;
    for (const json& e : list) {
        const json k = key != nullptr && e.is_object() && e.contains(key) ? e[key] : e;
        out[k.is_string() ? k.get<std::string>() : k.dump()] = e;
    }
    return out;
}

class differ {
public:
    explicit differ(bool all) {
        if (!all) ignored_ = {"uptime", "temperature", "taken_at", "counters"};
        // A device's port and a link's far end: the name server and the links say them once.
        ignored_.insert({"devices", "attached"});
    }

    std::vector<change> run(const json& a, const json& b) {
        const auto sa = switches(a), sb = switches(b);
        for (const auto& [wwn, sw] : sa)
            if (!sb.contains(wwn)) add("switch", "switch " + name(sw), "left the fabric", sw, json());
        for (const auto& [wwn, sw] : sb)
            if (!sa.contains(wwn)) add("switch", "switch " + name(sw), "joined the fabric", json(), sw);
        for (const auto& [wwn, before] : sa)
            if (const auto it = sb.find(wwn); it != sb.end()) compare_switch(before, it->second);
        compare_devices(a, b);
        return std::move(out_);
    }

private:
    static std::map<std::string, json> switches(const json& doc) {
        std::map<std::string, json> out;
        for (const json& sw : array_of(doc, "switches")) {
            const json& id = sw.contains("identity") ? sw["identity"] : json::object();
            out[id.is_object() && id.contains("wwn") ? id["wwn"].get<std::string>() : sw.value("fc_address", "?")] = sw;
        }
        return out;
    }

    static std::string name(const json& sw) {
        const std::string wwn = sw.contains("identity") ? sw["identity"].value("wwn", "") : "";
        return (wwn.empty() ? sw.value("fc_address", "?") : wwn) + " (chassis " + std::to_string(sw.value("chassis", -1)) + ")";
    }

    void add(std::string kind, std::string subject, std::string text, json before, json after) {
        out_.push_back({std::move(kind), std::move(subject), std::move(text), std::move(before), std::move(after)});
    }

    // One change for a part that differs.
    void part(const char* kind, const std::string& subject, const json& a, const json& b) {
        if (a == b) return;
        const std::string text = describe(a, b, ignored_);
        if (!text.empty()) add(kind, subject, text, a, b);
    }

    // "key value, ..." of an element that came or went, without its key.
    std::string summary(const json& e, const char* key) const {
        std::string t;
        if (!e.is_object()) return value_text("", e);
        for (auto it = e.begin(); it != e.end(); ++it)
            if ((key == nullptr || it.key() != key) && !ignored_.contains(it.key()))
                t += (t.empty() ? "" : ", ") + it.key() + " " + value_text(it.key(), it.value());
        return t;
    }

    // Elements of a list matched by key: added, removed, changed.
    void list(const char* kind, const std::string& prefix, const json& a, const json& b, const char* key) {
        const auto ka = keyed(a, key), kb = keyed(b, key);
        for (const auto& [k, e] : ka)
            if (!kb.contains(k)) add(kind, prefix + k, "removed", e, json());
        for (const auto& [k, e] : kb) {
            const auto it = ka.find(k);
            if (it == ka.end())
                add(kind, prefix + k, "added: " + summary(e, key), json(), e);
            else
                part(kind, prefix + k, it->second, e);
        }
    }

    void compare_switch(const json& a, const json& b) {
        const std::string sw = "switch " + name(b);
        const auto get = [](const json& j, const char* k) { return j.contains(k) ? j[k] : json(); };
        // A hand-made document may leave a switch's status out: it then reads as answering.
        if (const json sa = get(a, "status"), sb = get(b, "status"); sa != sb) {
            const json now = sb.is_object() ? sb : json::object();
            add("switch", sw, now.value("code", 0) == 0 ? "answers again" : "stopped answering: " + now.value("message", ""),
                sa, sb);
        }
        part("identity", sw, get(a, "identity"), get(b, "identity"));
        part("chassis", sw + " chassis", get(a, "chassis_status"), get(b, "chassis_status"));
        part("system", sw + " system", get(a, "system"), get(b, "system"));
        list("port", sw + " port ", array_of(a, "ports"), array_of(b, "ports"), "port");
        list("link", sw + " link on port ", array_of(a, "links"), array_of(b, "links"), "port");
        list("route", sw + " route to chassis ", array_of(a, "routes"), array_of(b, "routes"), "chassis");
        const json za = get(a, "zoning"), zb = get(b, "zoning");
        if (za.is_object() && zb.is_object()) {
            part("ns_zoning", sw, json{{"ns_zoning", get(za, "ns_zoning")}}, json{{"ns_zoning", get(zb, "ns_zoning")}});
            for (const char* type : {"hard", "name_server", "broadcast", "sl"})
                list("zone", sw + " " + type + " zone ", array_of(za, type), array_of(zb, type), "id");
            list("wwn_zone", sw + " wwn ", array_of(za, "wwn"), array_of(zb, "wwn"), "wwn");
        }
        const json ta = get(a, "traps"), tb = get(b, "traps");
        if (ta.is_object() && tb.is_object()) {
            json pa = ta, pb = tb;
            pa.erase("codes");
            pb.erase("codes");
            part("traps", sw + " traps", pa, pb);
            list("traps", sw + " trap code ", array_of(ta, "codes"), array_of(tb, "codes"), "code");
        }
    }

    void compare_devices(const json& a, const json& b) {
        const auto devices = [](const json& doc) {
            return keyed(doc.contains("name_server") ? array_of(doc["name_server"], "devices") : json::array(), "port_wwn");
        };
        const auto da = devices(a), db = devices(b);
        for (const auto& [wwn, d] : da)
            if (!db.contains(wwn)) add("device", "device " + wwn, "logged out from " + device_place(d), d, json());
        for (const auto& [wwn, d] : db) {
            const auto it = da.find(wwn);
            if (it == da.end()) {
                add("device", "device " + wwn, "logged in at " + device_place(d), json(), d);
            } else if (it->second != d) {
                const json& before = it->second;
                if (before.value("fc_address", "") != d.value("fc_address", ""))
                    add("device", "device " + wwn, "moved from " + device_place(before) + " to " + device_place(d), before, d);
                else
                    part("device", "device " + wwn, before, d);
            }
        }
    }

    std::set<std::string> ignored_;
    std::vector<change> out_;
};

}  // namespace

json snapshot_changes(const json& a, const json& b, bool all) {
    json list = json::array();
    for (const change& c : differ(all).run(a, b))
        list.push_back({{"kind", c.kind}, {"subject", c.subject}, {"text", c.text}, {"before", c.before}, {"after", c.after}});
    return list;
}

// diff [--all] A.json B.json
int32_t diff(int32_t argc, char** argv) {
    const bool all = option_given("--all");
    parse_options(argc, argv);
    if (argc != 2) usage();
    std::string why;
    auto a = load_json(argv[0], why);
    auto b = a ? load_json(argv[1], why) : std::nullopt;
    if (!b || !is_snapshot(*a) || !is_snapshot(*b)) {
        complain("diff", b ? "both files must be snapshots (telvar snapshot -o FILE)" : why);
        return exit_status::failure;
    }
    // The snapshots we write hold what the comparison reads. A hand-made document with a value
    // of another kind (a switch that is a number, a chassis that is a fraction, a WWN that is
    // not text) is refused, naming the member where the readers' shared rules know it; never a
    // crash, nor a number made up from a fraction.
    if (!well_shaped("diff", argv[0], *a) || !well_shaped("diff", argv[1], *b)) return exit_status::failure;
    json changes;
    try {
        changes = snapshot_changes(*a, *b, all);
    } catch (const json::exception& e) {
        complain("diff", std::string("a snapshot holds a value of the wrong kind: ") + e.what());
        return exit_status::failure;
    }
    if (json_wanted()) {
        print_json({{"equal", changes.empty()}, {"changes", changes}});
    } else {
        for (const json& c : changes)
            std::printf("%s: %s\n", c["subject"].get<std::string>().c_str(), c["text"].get<std::string>().c_str());
    }
    return changes.empty() ? exit_status::done : exit_status::differs;
}

}  // namespace telvar::data
