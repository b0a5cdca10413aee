// The fabrics' last readings and their pictures (see fabric_views.h).
#include "telvard/console/fabric_views.h"

#include <algorithm>

#include "history/time_text.h"
#include "telvar/pictures/fabric_picture.h"

namespace telvard::console {

namespace P = telvar::picture;

namespace {

// The switches with their status, the ports in trouble and the links, for the fabric page.
json summary_of(const std::string& fabric, telvar::history::time_ms at, const P::fabric& f) {
    json switches = json::array(), links = json::array();
    for (const P::fabric_switch& sw : f.switches) {
        json trouble = json::array();
        std::size_t devices = 0;
        for (const P::port& p : sw.ports) {
            devices += p.devices.size();
            if (p.condition != P::port_condition::up) trouble.push_back({{"port", p.number}, {"mark", P::condition_mark(p)}});
        }
        switches.push_back({{"chassis", sw.chassis}, {"fc_address", sw.fc_address}, {"wwn", sw.wwn},
                            {"description", sw.description}, {"firmware", sw.firmware}, {"reachable", sw.reachable},
                            {"status", sw.reachable ? "" : sw.status}, {"ports", sw.ports.size()},
                            {"ports_in_trouble", trouble}, {"devices", devices}});
    }
    for (const P::link& l : f.links)
        links.push_back({{"a", {{"chassis", l.a.chassis}, {"port", l.a.port}}}, {"b", {{"chassis", l.b.chassis}, {"port", l.b.port}}}});
    return {{"fabric", fabric}, {"read_at", telvar::history::time_text(at)}, {"switches", switches}, {"links", links}};
}

}  // namespace

fabric_view make_view(const std::string& fabric, json doc, telvar::history::time_ms at) {
    fabric_view v;
    v.fabric = fabric;
    v.at = at;
    std::string why;
    if (const auto f = P::read_fabric(doc, why)) {
        if (auto svg = P::map_svg(*f, {}, why))
            v.map_svg = std::move(*svg);
        else
            v.map_error = "the map could not be drawn: " + why;
        for (const P::fabric_switch& sw : f->switches) v.panels[sw.chassis] = P::panel_svg(*f, {sw.chassis});
        v.summary = summary_of(fabric, at, *f);
    } else {
        v.map_error = "the reading cannot be drawn: " + why;
        v.summary = {{"fabric", fabric}, {"read_at", telvar::history::time_text(at)}, {"switches", json::array()},
                     {"links", json::array()}, {"error", why}};
    }
    v.doc = std::make_shared<const json>(std::move(doc));
    return v;
}

bool fabric_views::watched(const std::string& fabric) const {
    return std::ranges::find(fabrics_, fabric) != fabrics_.end();
}

void fabric_views::publish(const std::string& fabric, json doc, telvar::history::time_ms at) {
    auto view = std::make_shared<const fabric_view>(make_view(fabric, std::move(doc), at));
    const std::lock_guard<std::mutex> lock(mutex_);
    views_[fabric] = std::move(view);
}

std::shared_ptr<const fabric_view> fabric_views::find(const std::string& fabric) const {
    const std::lock_guard<std::mutex> lock(mutex_);
    const auto it = views_.find(fabric);
    return it == views_.end() ? nullptr : it->second;
}

}  // namespace telvard::console
