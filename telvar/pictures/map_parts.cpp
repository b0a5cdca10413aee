// The nodes of the map (see map_parts.h). What is wrong is marked three ways, so that it shows
// in black and white too: a word in capitals, the outline (dashed, bold, diagonals) and the
// colour.
#include "telvar/pictures/map_parts.h"

namespace telvar::picture::parts {

namespace {

const look& look_of(port_condition c) {
    switch (c) {
        case port_condition::offline: return offline_look;
        case port_condition::failed: return failed_look;
        case port_condition::testing: return testing_look;
        case port_condition::up: break;
    }
    return port_up_look;
}

const char* class_of(port_condition c) {
    switch (c) {
        case port_condition::offline: return "port offline";
        case port_condition::failed: return "port failed";
        case port_condition::testing: return "port testing";
        case port_condition::up: break;
    }
    return "port up";
}

// A long description in lines of about `width` characters, broken at spaces, so that a switch's
// box stays narrow.
std::vector<std::string> wrapped(const std::string& text, std::size_t width = 26) {
    std::vector<std::string> lines{""};
    std::size_t from = 0;
    while (from < text.size()) {
        std::size_t to = text.find(' ', from);
        if (to == std::string::npos) to = text.size();
        const std::string word = text.substr(from, to - from);
        if (!lines.back().empty() && lines.back().size() + 1 + word.size() > width) lines.emplace_back();
        lines.back() += (lines.back().empty() ? "" : " ") + word;
        from = to + 1;
    }
    return lines;
}

}  // namespace

std::string label(const std::vector<std::string>& lines) {
    std::string out = "\"";
    bool first = true;
    for (const std::string& line : lines) {
        if (line.empty()) continue;
        if (!first) out += "\\n";
        first = false;
        for (const char c : line) {
            if (c == '&') {  // Graphviz reads entities such as &amp; in a label
                out += "&amp;";
                continue;
            }
            if (c == '"' || c == '\\') out.push_back('\\');
            out.push_back(c);
        }
    }
    return out + "\"";
}

std::string node(const std::string& name, const std::string& id, const std::string& cls, const look& l,
                 const std::string& text, const std::string& extra) {
    return "    " + name + " [id=\"" + id + "\", class=\"" + cls + "\", shape=" + l.shape + ", style=\"" + l.style +
           "\", fillcolor=\"" + l.fill + "\", color=\"" + l.outline + "\", label=" + text + extra + "];\n";
}

std::string switch_node(const fabric_switch& s, const std::string& more) {
    const std::string c = std::to_string(s.chassis);
    const std::string where = "chassis " + c + (s.fc_address.empty() ? "" : " - " + shown_text(s.fc_address, 8));
    const std::string wwn = s.wwn.empty() ? "" : "WWN " + shown_text(s.wwn, 23);
    if (!s.reachable)
        return node("c" + c, "switch_" + c, "switch unreachable", unreachable_look,
                    label({"UNREACHABLE", shown_text(s.status), where, wwn}));
    std::vector<std::string> lines = wrapped(shown_text(s.description.empty() ? "switch " + s.wwn : s.description));
    for (const std::string& line : {where, wwn, s.firmware.empty() ? "" : "firmware " + s.firmware, more})
        lines.push_back(line);
    return node("c" + c, "switch_" + c, "switch", switch_look, label(lines));
}

std::string port_node(const fabric_switch& s, const port& p) {
    const std::string c = std::to_string(s.chassis), n = std::to_string(p.number);
    return node("c" + c + "p" + n, "port_" + c + "_" + n, class_of(p.condition), look_of(p.condition),
                label({"port " + n + " " + shown_text(p.type, 16), condition_mark(p)}));
}

std::string link_edge(const link& l, bool b_first, const std::string& extra, bool in_the_middle) {
    const std::string a = std::to_string(l.a.chassis), ap = std::to_string(l.a.port);
    const std::string b = std::to_string(l.b.chassis), bp = std::to_string(l.b.port);
    const std::string tail = b_first ? b : a, head = b_first ? a : b;
    const std::string& tp = b_first ? bp : ap;
    const std::string& hp = b_first ? ap : bp;
    return "  c" + tail + " -> c" + head + " [id=\"link_" + a + "_" + ap + "_" + b + "_" + bp + "\", class=\"link\", " +
           (in_the_middle ? "label=\"" + tp + " - " + hp + "\"" : "taillabel=\"" + tp + "\", headlabel=\"" + hp + "\"") +
           ", penwidth=2.5, color=\"#1f4e79\", fontcolor=\"#1f4e79\", labelfontcolor=\"#1f4e79\"" + extra + "];\n";
}

std::string legend_nodes(bool devices_drawn) {
    std::string out = node("legend_switch", "legend_switch", "legend", switch_look,
                           label({"switch", "chassis - FC address", "WWN, firmware"}));
    out += node("legend_unreachable", "legend_unreachable", "legend", unreachable_look, label({"UNREACHABLE", "switch"}));
    out += node("legend_offline", "legend_offline", "legend", offline_look, label({"port", "OFFLINE"}));
    out += node("legend_failed", "legend_failed", "legend", failed_look, label({"port", "FAILED"}));
    if (!devices_drawn) return out;
    out += node("legend_initiator", "legend_initiator", "legend", initiator_look, label({"initiator"}));
    out += node("legend_target", "legend_target", "legend", target_look, label({"target"}));
    out += node("legend_folded", "legend_folded", "legend", folded_look,
                label({"devices above " + std::to_string(fold_above), "on a port, counted"}));
    return out;
}

std::string defaults(int font_size) {
    const std::string f = std::to_string(font_size);
    return "  graph [id=\"fabric_map\", fontname=\"DejaVu Sans\", fontsize=" + f + "];\n"
           "  node [fontname=\"DejaVu Sans\", fontsize=" + f + "];\n"
           "  edge [fontname=\"DejaVu Sans\", fontsize=" + f + ", labelfontsize=" + f +
           ", arrowhead=none, color=\"#404040\"];\n";
}

}  // namespace telvar::picture::parts
