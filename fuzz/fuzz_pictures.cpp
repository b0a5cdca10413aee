// The pictures' reader of snapshot documents on any text: it refuses what is not a snapshot it
// can draw, and what it accepts stays within a fabric's bounds and gives a map whose strings
// are all closed (so that Graphviz reads the input we meant) and a panel.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "telvar/pictures/fabric_picture.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    namespace P = telvar::picture;
    const auto doc = P::json::parse(data, data + size, nullptr, false);
    if (doc.is_discarded()) return 0;
    std::string why;
    const auto f = P::read_fabric(doc, why);
    if (!f) {
        if (why.empty()) std::abort();
        return 0;
    }
    if (f->switches.empty() || f->switches.size() > 64) std::abort();
    for (const P::fabric_switch& s : f->switches) {
        if (s.ports.size() > 24) std::abort();
        for (const P::port& p : s.ports)
            if (p.devices.size() > 126) std::abort();
    }
    for (const bool all : {false, true}) {
        const std::string dot = P::map_dot(*f, P::shape_of(*f), {.all_devices = all});
        bool open = false;
        for (std::size_t i = 0; i < dot.size(); ++i) {
            if (dot[i] == '\\' && open) ++i;
            else if (dot[i] == '"') open = !open;
        }
        if (open) std::abort();
    }
    if (P::panel_svg(*f, {}).find("</svg>") == std::string::npos) std::abort();
    return 0;
}
