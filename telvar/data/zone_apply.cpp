// zone_apply [--dry-run] [-s] <ip-address> FILE.json: makes the zoning of a switch what a file
// says, changing only what differs, and prints the plan before it changes anything.
//
// The file holds the zoning in the snapshot's form ({"ns_zoning", "hard", "name_server",
// "broadcast", "sl", "wwn"}), alone, under a "zoning" member, or as a whole snapshot (the
// zoning of the switch with the addressed switch's WWN is used). A kind the file leaves out is
// left as it is; a kind it names is made equal to it: a zone it does not list is made empty
// and disabled, a WWN it does not list loses its zones. An SL port always belongs to one SL
// zone, so it can be moved to another but not taken out of all: the plan says so and leaves it.
// The whole file is checked before anything is sent.
//
// A step whose answer did not come may have been applied all the same (the switch acts on a
// request whose answer is then lost), so the outcome of a run is never guessed from the answers:
// after its steps the zoning is read back and each step is reported as applied or not applied,
// and as unknown only when that read fails too. Nothing is saved after a failed step, and a run
// again plans from what the switch holds, so it converges.
#include <algorithm>
#include <array>
#include <cstring>
#include <map>
#include <set>

#include "proto/zoning/layout.h"
#include "telvar/cli/given_options.h"
#include "telvar/data/data_cmds.h"
#include "telvar/data/fabric_queries.h"
#include "telvar/data/fabric_snapshot.h"
#include "telvar/framework/option_loop.h"

namespace telvar::data {

namespace {

namespace J = telvar::json;

struct port_zone {
    bool enabled = false;
    std::set<int> ports;  // from 1
    bool operator==(const port_zone&) const = default;
};

struct bitmap_kind {
    const char* key;
    std::uint32_t type;
    std::uint32_t max_id;
};
constexpr std::array<bitmap_kind, 3> bitmap_kinds{{{"hard", TV_ZONE_HD, 15}, {"name_server", TV_ZONE_NS, 255}, {"broadcast", TV_ZONE_BCST, 15}}};

// One step of the plan: its line, what carries it out, and whether a zoning read from the
// switch (in the snapshot's form) holds what it sets.
struct step {
    std::string text;
    std::function<int32_t(tv_context*)> run;
    std::function<bool(const json& zoning)> holds;
};

constexpr std::uint32_t wwn_save = 5;

std::string ports_text(const std::set<int>& ports) {
    std::string t;
    for (const int p : ports) t += (t.empty() ? "" : " ") + std::to_string(p);
    return t.empty() ? "none" : t;
}

std::string at(const std::string& list, std::size_t i) { return list + "[" + std::to_string(i) + "]"; }

// The checks below name the field at fault: nlohmann's accessors would throw on a wrong type, and
// its conversions would take 5 as [5] or an object's values as a list.
bool read_id(const json& z, const std::string& where, std::uint64_t max, std::uint32_t& id, std::string& why) {
    if (!z.is_object()) return why = where + ": an object", false;
    if (!z.contains("id") || !z["id"].is_number_integer())
        return why = where + ".id: an integer from 0 to " + std::to_string(max), false;
    if (!z["id"].is_number_unsigned() || z["id"].get<std::uint64_t>() > max) return false;  // the caller's range text
    id = static_cast<std::uint32_t>(z["id"].get<std::uint64_t>());
    return true;
}

// The "ports" of a zone: a list of integers; false with `why`, or with `out_of_range` set.
bool read_ports(const json& z, const std::string& where, std::set<int>& ports, bool& out_of_range, std::string& why) {
    if (!z.contains("ports")) return true;
    const json& list = z["ports"];
    if (!list.is_array()) return why = where + ".ports: a list of port numbers", false;
    for (std::size_t j = 0; j < list.size(); ++j) {
        const json& p = list[j];
        if (!p.is_number_integer()) return why = at(where + ".ports", j) + ": an integer", false;
        if (!p.is_number_unsigned() || p.get<std::uint64_t>() < 1 || p.get<std::uint64_t>() > static_cast<std::uint64_t>(Max_Ports))
            return out_of_range = true, false;
        ports.insert(static_cast<int>(p.get<std::uint64_t>()));
    }
    return true;
}

// Reads one kind of zones of the file or of the switch; false with `why` for a bad entry.
bool read_bitmap_zones(const json& list, const bitmap_kind& k, std::map<std::uint32_t, port_zone>& out, std::string& why) {
    if (!list.is_array()) return why = std::string(k.key) + " must be a list of zones", false;
    for (std::size_t i = 0; i < list.size(); ++i) {
        const json& z = list[i];
        const std::string where = at(k.key, i);
        std::uint32_t id = 0;
        if (!read_id(z, where, k.max_id, id, why)) {
            if (why.empty()) why = std::string(k.key) + " zone ids run from 0 to " + std::to_string(k.max_id);
            return false;
        }
        port_zone pz;
        if (z.contains("enabled") && !z["enabled"].is_boolean()) return why = where + ".enabled: a true or false", false;
        pz.enabled = z.value("enabled", true);
        bool out_of_range = false;
        if (!read_ports(z, where, pz.ports, out_of_range, why)) {
            if (out_of_range) why = std::string(k.key) + " zone " + std::to_string(id) + ": ports run from 1 to " + std::to_string(Max_Ports);
            return false;
        }
        if (!out.emplace(id, pz).second) return why = std::string(k.key) + ": zone " + std::to_string(id) + " appears twice", false;
    }
    return true;
}

bool read_sl_zones(const json& list, std::map<int, std::uint32_t>& port_zone_of, std::string& why) {
    if (!list.is_array()) return why = "sl must be a list of zones", false;
    std::set<std::uint32_t> ids;
    for (std::size_t i = 0; i < list.size(); ++i) {
        const json& z = list[i];
        const std::string where = at("sl", i);
        std::uint32_t id = 0;
        if (!read_id(z, where, 0xFFFE, id, why)) {
            if (why.empty()) why = "sl zone ids run from 0 to 65534";
            return false;
        }
        if (!ids.insert(id).second) return why = "sl: zone " + std::to_string(id) + " appears twice", false;
        std::set<int> ports;
        bool out_of_range = false;
        if (!read_ports(z, where, ports, out_of_range, why)) {
            if (out_of_range) why = "sl zone " + std::to_string(id) + ": ports run from 1 to " + std::to_string(Max_Ports);
            return false;
        }
        for (const int p : ports)
            if (!port_zone_of.emplace(p, id).second) return why = "sl: port " + std::to_string(p) + " is in two zones", false;
    }
    return true;
}

bool read_wwn_zones(const json& list, std::map<std::string, std::set<std::uint32_t>>& out, std::string& why) {
    if (!list.is_array()) return why = "wwn must be a list of entries", false;
    for (std::size_t i = 0; i < list.size(); ++i) {
        const json& e = list[i];
        const auto w = e.is_object() && e.contains("wwn") && e["wwn"].is_string() ? J::parse_wwn(e["wwn"].get<std::string>()) : std::nullopt;
        if (!w) return why = "wwn: each entry has a \"wwn\" of 16 hex digits", false;
        const std::string wwn = J::wwn_text(w->data());
        if (out.contains(wwn)) return why = "wwn: " + wwn + " appears twice", false;
        std::set<std::uint32_t>& zones = out[wwn];
        if (!e.contains("zones")) continue;
        if (!e["zones"].is_array()) return why = at("wwn", i) + ".zones: a list of zone ids", false;
        for (const json& z : e["zones"]) {
            if (!z.is_number_integer()) return why = at("wwn", i) + ".zones: a list of integers", false;
            if (!z.is_number_unsigned() || z.get<std::uint64_t>() > 255) return why = "wwn zones run from 0 to 255", false;
            zones.insert(static_cast<std::uint32_t>(z.get<std::uint64_t>()));
        }
    }
    return true;
}

// The zoning object a file gives for the switch with `wwn`; null after setting `why`.
const json* zoning_in_file(const json& doc, const std::string& wwn, std::string& why) {
    if (is_snapshot(doc)) {
        const json* sw = snapshot::find_switch(doc, wwn);
        if (sw == nullptr || !sw->contains("zoning")) {
            why = "the snapshot has no zoning of switch " + wwn;
            return nullptr;
        }
        return &(*sw)["zoning"];
    }
    if (doc.is_object() && doc.contains("zoning")) return &doc["zoning"];
    if (doc.is_object()) return &doc;
    why = "the file holds no zoning";
    return nullptr;
}

class planner {
public:
    // False with `why` when the file is wrong; the steps otherwise.
    bool plan(const json& want, const json& have, std::vector<step>& steps, std::vector<std::string>& notes, std::string& why) {
        if (!want.is_object()) return why = "the zoning must be an object", false;
        if (want.contains("ns_zoning") && want["ns_zoning"] != have["ns_zoning"]) {
            const json w = want["ns_zoning"];
            if (w != "port" && w != "wwn") return why = "ns_zoning is \"port\" or \"wwn\"", false;
            const std::uint32_t type = w == "wwn" ? 1 : 0;
            steps.push_back({"ns_zoning: " + have.value("ns_zoning", "") + " -> " + w.get<std::string>(),
                             [type](tv_context* c) { return tv_set_type_ns_zoning(c, type); },
                             [w](const json& z) { return z.contains("ns_zoning") && z["ns_zoning"] == w; }});
        }
        for (const bitmap_kind& k : bitmap_kinds)
            if (want.contains(k.key) && !plan_bitmap(k, want[k.key], have[k.key], steps, why)) return false;
        if (want.contains("sl") && !plan_sl(want["sl"], have["sl"], steps, notes, why)) return false;
        if (want.contains("wwn") && !plan_wwn(want["wwn"], have["wwn"], steps, why)) return false;
        return true;
    }

private:
    static bool plan_bitmap(const bitmap_kind& k, const json& want, const json& have, std::vector<step>& steps, std::string& why) {
        std::map<std::uint32_t, port_zone> w, h;
        if (!read_bitmap_zones(want, k, w, why) || !read_bitmap_zones(have, k, h, why)) return false;
        std::set<std::uint32_t> ids;
        for (const auto& m : {&w, &h})
            for (const auto& [id, z] : *m) ids.insert(id);
        for (const std::uint32_t id : ids) {
            const port_zone target = w.contains(id) ? w[id] : port_zone{};
            const port_zone current = h.contains(id) ? h[id] : port_zone{};
            if (target == current) continue;
            const auto describe = [](const port_zone& z) {
                return "ports " + ports_text(z.ports) + (z.enabled ? ", enabled" : ", disabled");
            };
            const std::uint32_t type = k.type;
            steps.push_back({std::string(k.key) + " zone " + std::to_string(id) + ": " + describe(current) + " -> " + describe(target),
                             [type, id, target](tv_context* c) {
                                 std::vector<std::uint32_t> ports;
                                 for (const int p : target.ports) ports.push_back(static_cast<std::uint32_t>(p - 1));
                                 tv_port_zone z{type, id, target.enabled ? 1u : 0u, static_cast<std::uint32_t>(ports.size()), ports.data()};
                                 return tv_set_port_zone(c, &z, 0);
                             },
                             [&k, id, target](const json& z) {
                                 std::map<std::uint32_t, port_zone> held;
                                 std::string ignored;
                                 if (!z.contains(k.key) || !read_bitmap_zones(z[k.key], k, held, ignored)) return false;
                                 return (held.contains(id) ? held[id] : port_zone{}) == target;
                             }});
        }
        return true;
    }

    static bool plan_sl(const json& want, const json& have, std::vector<step>& steps, std::vector<std::string>& notes, std::string& why) {
        std::map<int, std::uint32_t> w, h;
        if (!read_sl_zones(want, w, why) || !read_sl_zones(have, h, why)) return false;
        std::map<std::uint32_t, std::set<int>> moves;  // zone -> ports that must join it
        for (const auto& [port, id] : w)
            if (!h.contains(port) || h[port] != id) moves[id].insert(port);
        for (const auto& [port, id] : h)
            if (!w.contains(port))
                notes.push_back("sl: port " + std::to_string(port) + " stays in zone " + std::to_string(id) +
                                ": an SL port always belongs to one zone");
        for (const auto& move : moves) {
            const auto id = move.first;
            const auto& ports = move.second;
            steps.push_back({"sl zone " + std::to_string(id) + ": gains ports " + ports_text(ports),
                             [id, ports](tv_context* c) {
                                 std::vector<std::uint32_t> wire;
                                 for (const int p : ports) wire.push_back(static_cast<std::uint32_t>(p - 1));
                                 tv_port_zone z{TV_ZONE_SL, id, 1, static_cast<std::uint32_t>(wire.size()), wire.data()};
                                 return tv_set_port_zone(c, &z, 0);
                             },
                             [id, ports](const json& z) {
                                 std::map<int, std::uint32_t> held;
                                 std::string ignored;
                                 if (!z.contains("sl") || !read_sl_zones(z["sl"], held, ignored)) return false;
                                 return std::ranges::all_of(ports, [&](int p) { return held.contains(p) && held[p] == id; });
                             }});
        }
        return true;
    }

    static bool plan_wwn(const json& want, const json& have, std::vector<step>& steps, std::string& why) {
        std::map<std::string, std::set<std::uint32_t>> w, h;
        if (!read_wwn_zones(want, w, why) || !read_wwn_zones(have, h, why)) return false;
        std::set<std::string> wwns;
        for (const auto& m : {&w, &h})
            for (const auto& [wwn, z] : *m) wwns.insert(wwn);
        for (const std::string& wwn : wwns) {
            const std::set<std::uint32_t> target = w.contains(wwn) ? w[wwn] : std::set<std::uint32_t>{};
            const std::set<std::uint32_t> current = h.contains(wwn) ? h[wwn] : std::set<std::uint32_t>{};
            const J::wwn_bytes bytes = *J::parse_wwn(wwn);
            // Whether the zoning read back has the WWN in zone `z` (is what `in` says).
            const auto member = [wwn](const json& zoning, std::uint32_t z, bool in) {
                std::map<std::string, std::set<std::uint32_t>> held;
                std::string ignored;
                if (!zoning.contains("wwn") || !read_wwn_zones(zoning["wwn"], held, ignored)) return false;
                return held[wwn].contains(z) == in;
            };
            for (const std::uint32_t z : target)
                if (!current.contains(z))
                    steps.push_back({"wwn " + wwn + ": joins zone " + std::to_string(z),
                                     [bytes, z](tv_context* c) { return tv_set_wwn_zone(c, z, bytes.data(), nullptr, 1); },
                                     [member, z](const json& zoning) { return member(zoning, z, true); }});
            for (const std::uint32_t z : current)
                if (!target.contains(z))
                    steps.push_back({"wwn " + wwn + ": leaves zone " + std::to_string(z),
                                     [bytes, z](tv_context* c) { return tv_rem_wwn_zone(c, z, bytes.data(), nullptr); },
                                     [member, z](const json& zoning) { return member(zoning, z, false); }});
        }
        return true;
    }
};

int32_t save(tv_context* ctx, std::uint32_t kind) {
    if (kind == wwn_save) return tv_save_wwn_zoning(ctx);
    const std::uint32_t sub = tv_zone_type_to_subcmd(kind + 0x600, 0);
    return sub == 0 ? tv_api_errno : tv_simple_config_cmd(ctx, sub);
}

const char* kind_name(std::uint32_t kind) {
    for (const bitmap_kind& k : bitmap_kinds)
        if (k.type == kind) return k.key;
    return kind == TV_ZONE_SL ? "sl" : "wwn";
}

enum class fate : std::uint8_t { applied, not_applied, unknown };
constexpr std::array<const char*, 3> fate_words{"applied", "not applied", "unknown"};

// What a run came to: each step's fate and each save's, from the zoning read back after the
// steps (or, when that read failed, from what was sent and answered).
struct run_result {
    bool ran = false;             // something was sent: steps, or saves (-s)
    int32_t code = TV_OK;         // the first failure: of a step, a save or the read-back's verdict
    int32_t read_back = TV_OK;    // the status of reading the zoning back
    std::vector<fate> steps;
    std::vector<std::pair<std::uint32_t, fate>> saves;  // kind, and whether it was saved

    bool changed() const { return std::ranges::any_of(steps, [](fate f) { return f != fate::not_applied; }); }

    json done_json(const std::vector<step>& plan) const {
        json done = json::array();
        for (std::size_t i = 0; i < steps.size(); ++i)
            if (steps[i] == fate::applied) done.push_back(plan[i].text);
        return done;
    }
    json steps_json(const std::vector<step>& plan) const {
        json out = json::array();
        for (std::size_t i = 0; i < steps.size(); ++i)
            out.push_back({{"step", plan[i].text}, {"outcome", fate_words[static_cast<std::size_t>(steps[i])]}});
        return out;
    }
    json saves_json() const {
        json out = json::array();
        for (const auto& [kind, f] : saves)
            out.push_back({{"kind", kind_name(kind)}, {"outcome", f == fate::applied ? "saved" : f == fate::not_applied ? "not saved" : "unknown"}});
        return out;
    }
    // The text report of a run that did not wholly succeed: each step's fate, then the saves'.
    void print(const std::vector<step>& plan) const {
        if (steps.empty())
            std::printf("outcome:\n");
        else if (read_back == TV_OK)
            std::printf("outcome, read back from the switch:\n");
        else
            std::printf("outcome (the switch could not be read back: %s; a step without an answer is unknown):\n",
                        J::status(read_back)["message"].get<std::string>().c_str());
        for (std::size_t i = 0; i < steps.size(); ++i)
            std::printf("  %s: %s\n", fate_words[static_cast<std::size_t>(steps[i])], plan[i].text.c_str());
        for (const auto& [kind, f] : saves)
            std::printf("  %s: %s zoning\n", f == fate::applied ? "saved" : f == fate::not_applied ? "not saved" : "save unknown",
                        kind_name(kind));
    }
};

// Saves each kind in turn, once every step was applied; a kind after a failed save, or after a
// failed step, is not saved: the saved set keeps the zoning as it was.
run_result& save_kinds(tv_context* ctx, const std::set<std::uint32_t>& kinds, run_result& r) {
    const bool may_save = r.code == TV_OK;
    for (const std::uint32_t kind : kinds) {
        if (!may_save || (!r.saves.empty() && r.saves.back().second != fate::applied)) {
            r.saves.emplace_back(kind, fate::not_applied);
            continue;
        }
        const int32_t saved = save(ctx, kind);
        if (saved != TV_OK) {
            r.code = saved;
            complain("zone_apply", std::string("saving the ") + kind_name(kind) + " zoning: " + J::status(saved)["message"].get<std::string>());
        }
        // A save without an answer may have been made; the saved set is not read back.
        r.saves.emplace_back(kind, saved == TV_OK ? fate::applied : fate::unknown);
    }
    return r;
}

// The kinds of zoning a file names, which -s saves: all of them, changed or not, so that a run
// after one that failed before its saves saves what that one applied.
std::set<std::uint32_t> kinds_named(const json& want) {
    std::set<std::uint32_t> kinds;
    for (const bitmap_kind& k : bitmap_kinds)
        if (want.contains(k.key)) kinds.insert(k.type);
    if (want.contains("sl")) kinds.insert(TV_ZONE_SL);
    if (want.contains("wwn")) kinds.insert(wwn_save);
    return kinds;
}

// Runs the steps in order until one fails, reads the zoning back to say what each step came to,
// then saves `kinds` (-s) when every step was applied.
run_result run(tv_context* ctx, const std::vector<step>& plan, const std::set<std::uint32_t>& kinds) {
    run_result r;
    r.ran = !plan.empty() || !kinds.empty();
    if (plan.empty()) return save_kinds(ctx, kinds, r);
    std::vector<int32_t> answered(plan.size(), -1);  // -1: not sent
    for (std::size_t i = 0; i < plan.size(); ++i) {
        answered[i] = plan[i].run(ctx);
        if (answered[i] != TV_OK) {
            r.code = answered[i];
            complain("zone_apply", plan[i].text + ": " + J::status(r.code)["message"].get<std::string>());
            break;
        }
    }
    // A step acknowledged may still not hold (a lookup inside it that failed), and one without
    // an answer may hold: the switch says which. Reading it back is tried twice, since it can
    // meet the same loss that failed the step.
    json held;
    r.read_back = snapshot::read_zoning(ctx, held);
    if (r.read_back != TV_OK) r.read_back = snapshot::read_zoning(ctx, held);
    for (std::size_t i = 0; i < plan.size(); ++i) {
        if (r.read_back == TV_OK)
            r.steps.push_back(plan[i].holds(held) ? fate::applied : fate::not_applied);
        else
            r.steps.push_back(answered[i] == TV_OK ? fate::applied : answered[i] == -1 ? fate::not_applied : fate::unknown);
    }
    const bool all_applied = std::ranges::all_of(r.steps, [](fate f) { return f == fate::applied; });
    if (r.code == TV_OK && !all_applied) {
        r.code = TV_ERR_SWITCH;
        complain("zone_apply", "the zoning read back does not hold every step that was answered");
    }
    return save_kinds(ctx, kinds, r);
}

// The switch's WWN, the plan that makes its zoning the file's, and the notes; false with `why`
// when the zoning could not be read or the file is wrong.
struct planned {
    std::string wwn;
    const json* want = nullptr;
    std::vector<step> steps;
    std::vector<std::string> notes;
};

bool plan_for(tv_context* ctx, const json& file, planned& p, std::string& why) {
    tv_version_info v{};
    json have;
    int32_t code = tv_get_version(ctx, &v);
    if (code == TV_OK) code = snapshot::read_zoning(ctx, have);
    if (code != TV_OK) {
        why = "reading the zoning: " + J::status(code)["message"].get<std::string>();
        return false;
    }
    p.wwn = J::wwn_text(v.wwn);
    p.want = zoning_in_file(file, p.wwn, why);
    if (p.want == nullptr || !planner().plan(*p.want, have, p.steps, p.notes, why)) {
        why = "the zoning document: " + why;
        return false;
    }
    return true;
}

// The --json document of a run (or of a plan alone, `dry_run`).
json outcome_document(const planned& p, bool dry_run, const run_result& r) {
    json plan = json::array(), notes = json::array();
    for (const step& s : p.steps) plan.push_back(s.text);
    for (const std::string& n : p.notes) notes.push_back(n);
    json doc = {{"switch", p.wwn}, {"dry_run", dry_run}, {"plan", plan}, {"notes", notes},
                {"done", r.done_json(p.steps)}, {"changed", r.changed()}, {"status", J::status(r.code)}};
    if (r.ran) doc["saves"] = r.saves_json();
    if (r.ran && !p.steps.empty()) {
        doc["steps"] = r.steps_json(p.steps);
        doc["read_back"] = J::status(r.read_back);
    }
    return doc;
}

}  // namespace

bool check_zoning_document(const json& doc, std::string& why, std::vector<std::string>& plan) {
    const json none = {{"ns_zoning", "port"}, {"hard", json::array()}, {"name_server", json::array()},
                       {"broadcast", json::array()}, {"sl", json::array()}, {"wwn", json::array()}};
    const json* want = zoning_in_file(doc, "10:00:00:00:5e:01:00:00", why);
    std::vector<step> steps;
    std::vector<std::string> notes;
    if (want == nullptr || !planner().plan(*want, none, steps, notes, why)) return false;
    for (const step& s : steps) plan.push_back(s.text);
    return true;
}

std::optional<json> apply_zoning(tv_context* ctx, const json& file, bool dry_run, bool save_after, std::string& why) {
    // The zones' ports are checked against the switch's count, which the tool learns when it
    // opens its context; a caller with a context of its own learns it here.
    if (const int32_t ports = tv_get_num_of_ports(ctx); ports > 0) Max_Ports = ports;
    planned p;
    if (!plan_for(ctx, file, p, why)) return std::nullopt;
    const run_result r = dry_run ? run_result{} : run(ctx, p.steps, save_after ? kinds_named(*p.want) : std::set<std::uint32_t>{});
    return outcome_document(p, dry_run, r);
}

int32_t zone_apply(int32_t argc, char** argv) {
    const bool dry_run = option_given("--dry-run");
    const bool save_after = option_given("-s");
    parse_options(argc, argv);
    if (argc != 2) usage();
    std::string why;
    const auto file = load_json(argv[1], why);
    if (!file) {
        complain("zone_apply", why);
        return exit_status::failure;
    }
    const context_ptr ctx = open_switch("zone_apply", argc, argv, 2);
    if (!ctx) return exit_status::no_context;
    planned p;
    if (!plan_for(ctx.get(), *file, p, why)) {
        // The file's mistakes are told with its name, as before.
        const std::string prefix = "the zoning document: ";
        complain("zone_apply", why.starts_with(prefix) ? std::string(argv[1]) + ": " + why.substr(prefix.size()) : why);
        return exit_status::failure;
    }
    const std::vector<step>& steps = p.steps;
    if (!json_wanted()) {
        std::printf("zoning of %s: %s\n", p.wwn.c_str(), steps.empty() ? "nothing to change" : "plan");
        for (const step& s : steps) std::printf("  %s\n", s.text.c_str());
        for (const std::string& n : p.notes) std::printf("  note: %s\n", n.c_str());
    }
    const run_result r = dry_run ? run_result{} : run(ctx.get(), steps, save_after ? kinds_named(*p.want) : std::set<std::uint32_t>{});
    if (json_wanted()) {
        print_json(outcome_document(p, dry_run, r));
    } else if (r.ran && !steps.empty() && r.code == TV_OK) {
        std::printf("SUCCESS\n");
    } else if (r.code != TV_OK) {
        r.print(steps);
    }
    if (r.code != TV_OK) return exit_status::failure;
    return steps.empty() ? exit_status::done : exit_status::differs;
}

}  // namespace telvar::data
