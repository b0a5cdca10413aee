// The rows of the history as lines and as JSON objects (see history_rows.h).
#include "telvar/data/history_rows.h"

#include <algorithm>
#include <utility>

#include "history/time_text.h"
#include "telvar/telvar.h"

namespace telvar::data {

namespace {

// What a row holds as JSON text; null for "not there", the text itself when it is no JSON
// (a database written by hand), so that nothing is lost on the way to the screen.
json parsed(const std::string& text) {
    if (text.empty()) return nullptr;
    json v = json::parse(text, nullptr, false);
    return v.is_discarded() ? json(text) : v;
}

// The members of an object as "path value" leaves, nested objects by dotted paths.
void leaves(const json& v, const std::string& path, std::vector<std::pair<std::string, json>>& out) {
    if (!v.is_object()) {
        out.emplace_back(path, v);
        return;
    }
    for (auto it = v.begin(); it != v.end(); ++it) leaves(it.value(), path.empty() ? it.key() : path + "." + it.key(), out);
}

std::string leaf_text(const std::string& path, const json& v) {
    const std::string key = path.substr(path.rfind('.') + 1);
    return path.empty() ? value_text(key, v) : path + " " + value_text(key, v);
}

std::string joined(const std::vector<std::string>& parts) {
    std::string out;
    for (const std::string& p : parts) out += (out.empty() ? "" : ", ") + p;
    return out;
}

// A thing as a whole: every member (a thing that appeared or went), or "—" when not there.
std::string whole_text(const json& v) {
    if (v.is_null()) return "\u2014";
    std::vector<std::pair<std::string, json>> all;
    leaves(v, "", all);
    std::vector<std::string> parts;
    for (const auto& [path, value] : all) parts.push_back(leaf_text(path, value));
    return parts.empty() ? "{}" : joined(parts);
}

// "members before -> members after" of the members that differ; objects nested in both sides
// are compared member by member.
std::string differing_text(const json& before, const json& after) {
    if (!before.is_object() || !after.is_object()) return whole_text(before) + " -> " + whole_text(after);
    std::vector<std::string> was, is;
    const auto compare = [&](auto& self, const json& a, const json& b, const std::string& path) -> void {
        std::vector<std::string> keys;
        for (const json* side : {&a, &b})
            for (auto it = side->begin(); it != side->end(); ++it)
                if (std::ranges::find(keys, it.key()) == keys.end()) keys.push_back(it.key());
        std::ranges::sort(keys);
        for (const std::string& k : keys) {
            const json va = a.contains(k) ? a[k] : json(), vb = b.contains(k) ? b[k] : json();
            if (va == vb) continue;
            const std::string p = path.empty() ? k : path + "." + k;
            if (va.is_object() && vb.is_object()) {
                self(self, va, vb, p);
                continue;
            }
            was.push_back(leaf_text(p, va));
            is.push_back(leaf_text(p, vb));
        }
    };
    compare(compare, before, after, "");
    if (was.empty()) return "unchanged";
    return joined(was) + " -> " + joined(is);
}

// The status a switch's record carries: 0 when it answered (or says nothing of it).
int status_code(const json& v) {
    const json& s = member_object(v, "status");
    return s.contains("code") && s["code"].is_number_integer() ? s["code"].get<int>() : 0;
}

// How many of something a first reading found: a count, or the length of a list.
std::optional<std::size_t> count_of(const json& v, const char* key) {
    if (!v.is_object() || !v.contains(key)) return std::nullopt;
    const json& n = v[key];
    if (n.is_number_unsigned()) return n.get<std::size_t>();
    if (n.is_array()) return n.size();
    return std::nullopt;
}

std::string counted(std::size_t n, const char* one, const char* many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

// The watcher's own rows in words; empty for a row that is a change of a thing.
std::string watcher_text(const history::change_row& r, const json& before, const json& after) {
    if (r.kind == "fabric" && before.is_null()) {
        const auto switches = count_of(after, "switches"), devices = count_of(after, "devices");
        if (switches && devices)
            return "first reading: " + counted(*switches, "switch", "switches") + ", " +
                   counted(*devices, "device", "devices");
    }
    if (r.kind == "device" && before.is_null() != after.is_null())
        return before.is_null() ? "logged in at " + device_place(after) : "logged out from " + device_place(before);
    if (r.kind == "device" && before.is_object() && after.is_object() && device_place(before) != device_place(after))
        return "moved from " + device_place(before) + " to " + device_place(after);
    if (r.kind == "switch" && before.is_null() != after.is_null())
        return before.is_null() ? "joined the fabric" : "left the fabric";
    if (r.kind == "switch" && before.is_object() && after.is_object()) {
        const int was = status_code(before), is = status_code(after);
        if (was == 0 && is != 0)
            return "stopped answering: " + member_object(after, "status").value("message", "status " + std::to_string(is));
        if (was != 0 && is == 0) return "answers again";
    }
    return {};
}

// Codes 9 to 25 are about a port, 29 to 31 about an ASIC; the others about the switch.
std::string unit_text(const history::event_row& e) {
    if (e.code >= 9 && e.code <= 25) return "port " + std::to_string(e.unit);
    if (e.code >= 29 && e.code <= 31) return "asic " + std::to_string(e.unit);
    return "-";
}

std::string alert_word(int alert) {
    return alert == 0 || alert == 1 ? trap_alert_types[alert] : "unrecognized (" + std::to_string(alert) + ")";
}

json switch_json(const history::switch_ref& s) {
    json out = json::object();
    if (!s.wwn.empty()) out["wwn"] = s.wwn;
    if (!s.fc_address.empty()) out["fc_address"] = s.fc_address;
    if (s.chassis >= 0) out["chassis"] = s.chassis;
    return out.empty() ? json() : out;
}

// A text as a terminal shows it harmlessly: control characters (a switch's texts may hold
// any byte) as '?'.
std::string printable(std::string text) {
    std::ranges::replace_if(text, [](char c) { return (c >= 0 && c < 0x20) || c == 0x7F; }, '?');
    return text;
}

// Columns a text takes: its characters, not its bytes ("—" is one).
std::size_t columns(const std::string& text) {
    return static_cast<std::size_t>(std::ranges::count_if(text, [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
}

}  // namespace

std::string switch_text(const history::switch_ref& s) {
    if (!s.fc_address.empty()) return s.fc_address;
    if (!s.wwn.empty()) return s.wwn;
    if (s.chassis >= 0) return "chassis " + std::to_string(s.chassis);
    return "-";
}

std::string change_text(const history::change_row& r) {
    const json before = parsed(r.before), after = parsed(r.after);
    if (std::string words = watcher_text(r, before, after); !words.empty()) return words;
    return differing_text(before, after);
}

rendered_row render(const history::change_row& r, row_form form) {
    const std::string text = change_text(r);
    if (form == row_form::text)
        return {{history::time_text(r.at), r.fabric, switch_text(r.sw), r.kind, r.key.empty() ? "-" : r.key, text}, {}};
    return {{},
            {{"time", history::time_text(r.at)},
             {"fabric", r.fabric},
             {"switch", switch_json(r.sw)},
             {"kind", r.kind},
             {"key", r.key},
             {"before", parsed(r.before)},
             {"after", parsed(r.after)},
             {"text", text}}};
}

rendered_row render(const history::event_row& e, row_form form) {
    const std::string what = std::to_string(e.code) + (e.description.empty() ? "" : " " + e.description);
    const std::string counter = "value " + std::to_string(e.value) + " change " + std::to_string(e.change);
    if (form == row_form::text)
        return {{history::time_text(e.at), e.fabric, switch_text(e.sw), unit_text(e), what, alert_word(e.alert), counter}, {}};
    return {{},
            {{"time", history::time_text(e.at)},
             {"fabric", e.fabric},
             {"switch", switch_json(e.sw)},
             {"sender", e.sender},
             {"unit", e.unit},
             {"code", e.code},
             {"description", e.description},
             {"alert", alert_word(e.alert)},
             {"value", e.value},
             {"change", e.change}}};
}

std::string aligned(const std::vector<rendered_row>& rows) {
    std::vector<std::size_t> width;
    for (const rendered_row& r : rows)
        for (std::size_t i = 0; i < r.cells.size(); ++i) {
            if (width.size() <= i) width.resize(i + 1, 0);
            width[i] = std::max(width[i], columns(printable(r.cells[i])));
        }
    std::string out;
    for (const rendered_row& r : rows) {
        for (std::size_t i = 0; i < r.cells.size(); ++i) {
            const std::string cell = printable(r.cells[i]);
            out += cell;
            if (i + 1 < r.cells.size()) out += std::string(width[i] - columns(cell) + 2, ' ');
        }
        out += '\n';
    }
    return out;
}

}  // namespace telvar::data
