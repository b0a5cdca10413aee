// The console's views of the last readings: the fabrics, a fabric's switches and map, a
// switch's record and panel, the devices found by a search, and the zoning with its findings.
// None of them calls the library or waits for a switch.
#include <algorithm>
#include <cctype>
#include <charconv>

#include "history/time_text.h"
#include "telvar/data/fabric_queries.h"
#include "telvard/console/replies.h"
#include "telvard/console/routes.h"

namespace telvard::console {

namespace J = telvar::json;

namespace {

// A search answers at most this many devices: a name found in thousands is narrowed, not sent.
constexpr std::size_t most_found = 500;

const json& list_of(const json& j, const char* key) {
    static const json none = json::array();
    return j.is_object() && j.contains(key) && j[key].is_array() ? j[key] : none;
}

std::string lower(std::string s) {
    std::ranges::transform(s, s.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
}

std::optional<int> number(std::string_view text) {
    int n = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), n);
    if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return n;
}

// What a search's `q` names: a WWN, an FC address, a port as CHASSIS:PORT, else a part of a name.
http::response devices(const fabric_view& v, const std::string& q) {
    if (q.empty() || q.size() > 256) return error_reply(400, "q: give a WWN, an FC address, CHASSIS:PORT or a name");
    const json& doc = *v.doc;
    std::string wanted;
    std::function<bool(const json&)> match;
    if (const auto wwn = J::parse_wwn(q)) {
        wanted = J::wwn_text(wwn->data());
        match = [&](const json& d) { return d.value("port_wwn", "") == wanted || d.value("node_wwn", "") == wanted; };
    } else if (const auto fc = J::parse_fc_address(q)) {
        wanted = J::fc_address_text(*fc);
        match = [&](const json& d) { return d.value("fc_address", "") == wanted; };
    } else if (const std::size_t colon = q.find(':'); colon != std::string::npos && number(q.substr(0, colon)) &&
                                                      number(q.substr(colon + 1))) {
        const int chassis = *number(q.substr(0, colon)), port = *number(q.substr(colon + 1));
        wanted = std::to_string(chassis) + ":" + std::to_string(port);
        match = [=](const json& d) { return d.value("chassis", -1) == chassis && d.value("port", 0) == port; };
    } else {
        wanted = q;
        match = [part = lower(q)](const json& d) {
            return lower(d.value("port_name", "")).find(part) != std::string::npos ||
                   lower(d.value("node_name", "")).find(part) != std::string::npos;
        };
    }
    return json_reply({{"wanted", wanted}, {"found", telvar::data::locate_matching(doc, match, most_found)}});
}

json fabrics_list(const sources& s) {
    json list = json::array();
    for (const std::string& f : s.views.fabrics()) {
        json entry = {{"fabric", f}, {"read_at", nullptr}, {"switches", 0}, {"switches_down", 0}, {"devices", 0}};
        if (const auto v = s.views.find(f)) {
            entry["read_at"] = telvar::history::time_text(v->at);
            const json& switches = list_of(v->summary, "switches");
            entry["switches"] = switches.size();
            entry["switches_down"] = std::ranges::count_if(switches, [](const json& sw) { return !sw.value("reachable", true); });
            entry["devices"] = list_of(v->doc->value("name_server", json::object()), "devices").size();
        }
        list.push_back(entry);
    }
    return {{"fabrics", list}};
}

json zoning_of(const fabric_view& v) {
    json switches = json::array();
    for (const json& sw : list_of(*v.doc, "switches"))
        switches.push_back({{"chassis", sw.value("chassis", -1)},
                            {"wwn", sw.value("identity", json::object()).value("wwn", "")},
                            {"zoning", sw.value("zoning", json::object())}});
    return {{"fabric", v.fabric}, {"read_at", telvar::history::time_text(v.at)}, {"switches", switches},
            {"findings", telvar::data::zone_findings(*v.doc)}};
}

// A handler over the request's fabric view.
guarded_handler on_view(const sources& s, std::function<http::response(const fabric_view&, const http::request&)> run) {
    return [&s, run = std::move(run)](const http::request& r, const caller&) {
        auto found = view_of(s, r);
        if (auto* refused = std::get_if<http::response>(&found)) return std::move(*refused);
        return run(*std::get<std::shared_ptr<const fabric_view>>(found), r);
    };
}

}  // namespace

std::variant<std::shared_ptr<const fabric_view>, http::response> view_of(const sources& s, const http::request& r) {
    const std::string fabric = parameter(r, "fabric");
    if (fabric.empty()) return error_reply(400, "fabric: give a fabric of /api/fabrics");
    if (!s.views.watched(fabric)) return error_reply(404, "no fabric " + fabric + " is watched");
    auto v = s.views.find(fabric);
    if (!v) return error_reply(409, "fabric " + fabric + " has not been read yet");
    return v;
}

std::variant<const json*, http::response> switch_of(const json& doc, const http::request& r) {
    const auto chassis = number(parameter(r, "chassis"));
    if (!chassis) return error_reply(400, "chassis: give a switch's chassis number");
    for (const json& sw : list_of(doc, "switches"))
        if (sw.value("chassis", -1) == *chassis) return &sw;
    return error_reply(404, "the fabric has no switch of chassis " + std::to_string(*chassis));
}

std::vector<http::route> fabric_routes(gate& g, const sources& s) {
    return {
        {"GET", "/api/fabrics", g.guard([&s](const http::request&, const caller&) { return json_reply(fabrics_list(s)); })},
        {"GET", "/api/fabric", g.guard(on_view(s, [](const fabric_view& v, const http::request&) { return json_reply(v.summary); }))},
        {"GET", "/api/fabric/map.svg", g.guard(on_view(s, [](const fabric_view& v, const http::request&) {
             return v.map_svg.empty() ? error_reply(500, v.map_error) : svg_reply(v.map_svg);
         }))},
        {"GET", "/api/switch", g.guard(on_view(s, [](const fabric_view& v, const http::request& r) {
             auto found = switch_of(*v.doc, r);
             if (auto* refused = std::get_if<http::response>(&found)) return std::move(*refused);
             json out = *std::get<const json*>(found);
             out["fabric"] = v.fabric;
             out["read_at"] = telvar::history::time_text(v.at);
             return json_reply(out);
         }))},
        {"GET", "/api/switch/panel.svg", g.guard(on_view(s, [](const fabric_view& v, const http::request& r) {
             const auto chassis = number(parameter(r, "chassis"));
             if (!chassis) return error_reply(400, "chassis: give a switch's chassis number");
             const auto it = v.panels.find(*chassis);
             if (it == v.panels.end()) return error_reply(404, "the fabric has no switch of chassis " + std::to_string(*chassis));
             return svg_reply(it->second);
         }))},
        {"GET", "/api/devices",
         g.guard(on_view(s, [](const fabric_view& v, const http::request& r) { return devices(v, parameter(r, "q")); }))},
        {"GET", "/api/zoning", g.guard(on_view(s, [](const fabric_view& v, const http::request&) { return json_reply(zoning_of(v)); }))},
    };
}

}  // namespace telvard::console
