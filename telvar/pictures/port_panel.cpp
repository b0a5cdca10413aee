// The port panels: each switch as a front panel, a grid of one cell per port in port order
// (eight to a row), written as SVG here since a grid needs no layout engine. The panel is
// sized for a screen at 100 %: no text is under 12 pixels and eight cells fit 1,600.
//
// A cell holds the port's number and type, its admin and operational state, its transceiver,
// and what is on it: the devices (and how many are initiators) or the switch and port at the
// far end of its link. A port in trouble is marked three ways, so that it shows in black and
// white too: a word in capitals, a hatched fill and a dashed or heavy outline. Every cell is a
// group with an id (port_C_P) and a class (in_use, linked, idle, offline, failed, testing).
#include <algorithm>

#include "telvar/pictures/fabric_picture.h"

namespace telvar::picture {

namespace {

constexpr int margin = 16, pad = 10, cell_w = 180, cell_h = 112, gap = 6, per_row = 8;
constexpr int title_h = 56, block_gap = 16, legend_h = 80;
constexpr int width = 2 * margin + 2 * pad + per_row * cell_w + (per_row - 1) * gap;

std::string xml(std::string_view text) {
    std::string out;
    for (const char c : shown_text(text, text.size())) {
        switch (c) {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '"': out += "&quot;"; break;
            default: out.push_back(c);
        }
    }
    return out;
}

struct cell_look {
    const char* cls;
    const char* fill;
    const char* stroke;
    const char* extra;  // dashes, width
    const char* legend;
};

constexpr cell_look in_use{"in_use", "#e2f0d9", "#404040", "stroke-width=\"1\"", "devices logged in"};
constexpr cell_look linked{"linked", "#dbe8f6", "#404040", "stroke-width=\"1\"", "link to a switch"};
constexpr cell_look idle{"idle", "#ffffff", "#404040", "stroke-width=\"1\"", "idle"};
constexpr cell_look offline{"offline", "url(#hatch_offline)", "#404040", "stroke-width=\"1.5\" stroke-dasharray=\"6,3\"", "OFFLINE"};
constexpr cell_look failed{"failed", "url(#hatch_failed)", "#c00000", "stroke-width=\"3\"", "FAILED"};
constexpr cell_look testing{"testing", "#fff2b3", "#806000", "stroke-width=\"1.5\" stroke-dasharray=\"2,2\"", "IN TEST"};

const cell_look& look_of(const port& p) {
    switch (p.condition) {
        case port_condition::offline: return offline;
        case port_condition::failed: return failed;
        case port_condition::testing: return testing;
        case port_condition::up: break;
    }
    return p.linked ? linked : p.devices.empty() ? idle : in_use;
}

std::string text(int x, int y, const std::string& content, const char* attributes = "font-size=\"12\"") {
    return "<text x=\"" + std::to_string(x) + "\" y=\"" + std::to_string(y) + "\" " + attributes + ">" + content +
           "</text>\n";
}

std::string rect(int x, int y, int w, int h, const cell_look& l, int rounded = 4) {
    return "<rect x=\"" + std::to_string(x) + "\" y=\"" + std::to_string(y) + "\" width=\"" + std::to_string(w) +
           "\" height=\"" + std::to_string(h) + "\" rx=\"" + std::to_string(rounded) + "\" fill=\"" + l.fill +
           "\" stroke=\"" + l.stroke + "\" " + l.extra + "/>\n";
}

// What is on the port, in a line.
std::string attached(const port& p) {
    if (p.linked) return "to chassis " + std::to_string(p.linked->chassis) + ", port " + std::to_string(p.linked->port);
    if (p.devices.empty()) return "no device";
    return device_count(p.devices);
}

std::string cell(const fabric_switch& s, const port& p, int x, int y) {
    const cell_look& l = look_of(p);
    const std::string c = std::to_string(s.chassis), n = std::to_string(p.number);
    std::string tip = "chassis " + c + " port " + n + " " + p.type;
    for (std::size_t i = 0; i < p.devices.size() && i < 16; ++i)
        tip += "\n" + p.devices[i].fc_address + " " + p.devices[i].port_wwn + " " + role_word(p.devices[i].role);
    if (p.devices.size() > 16) tip += "\n...";
    std::string out = "<g id=\"port_" + c + "_" + n + "\" class=\"port " + l.cls + "\">\n<title>" + xml(tip) + "</title>\n";
    out += rect(x, y, cell_w, cell_h, l);
    out += text(x + 8, y + 22, n, "font-size=\"16\" font-weight=\"bold\"");
    out += text(x + cell_w - 8, y + 21, xml(shown_text(p.type, 12)), "font-size=\"13\" text-anchor=\"end\"");
    const std::string state = p.admin.empty() && p.operational.empty()
                                  ? "state not read"
                                  : "admin " + shown_text(p.admin, 8) + ", oper " + shown_text(p.operational, 8);
    out += text(x + 8, y + 40, xml(state));
    out += text(x + 8, y + 56, xml(shown_text(p.transceiver.empty() ? "transceiver ?" : p.transceiver, 24)));
    // A long count goes on two lines, broken after its colon: "60 devices:" / "1 initiator, 59 targets".
    const std::string what = attached(p);
    const std::size_t colon = what.find(": ");
    const bool two_lines = what.size() > 24 && colon != std::string::npos;
    out += text(x + 8, y + 72, xml(two_lines ? what.substr(0, colon + 1) : what));
    if (two_lines) out += text(x + 8, y + 88, xml(what.substr(colon + 2)));
    if (const std::string mark = condition_mark(p); !mark.empty())
        out += text(x + 8, y + 105, xml(mark), "font-size=\"13\" font-weight=\"bold\"");
    return out + "</g>\n";
}

int block_height(const fabric_switch& s) {
    const int rows = s.ports_read ? (static_cast<int>(s.ports.size()) + per_row - 1) / per_row : 0;
    return title_h + (rows == 0 ? 24 : rows * (cell_h + gap)) + pad;
}

std::string block(const fabric_switch& s, int y) {
    const std::string c = std::to_string(s.chassis);
    const int h = block_height(s);
    std::string out = "<g id=\"panel_" + c + "\" class=\"panel" + (s.reachable ? "" : " unreachable") + "\">\n";
    out += "<rect x=\"" + std::to_string(margin) + "\" y=\"" + std::to_string(y) + "\" width=\"" +
           std::to_string(width - 2 * margin) + "\" height=\"" + std::to_string(h) + "\" rx=\"8\" fill=\"#f7f7f7\" " +
           (s.reachable ? "stroke=\"#404040\" stroke-width=\"1.5\"" : "stroke=\"#c00000\" stroke-width=\"3\" stroke-dasharray=\"8,4\"") +
           "/>\n";
    const std::string name = s.reachable ? shown_text(s.description.empty() ? "switch " + s.wwn : s.description, 80)
                                         : "UNREACHABLE: " + shown_text(s.status, 60);
    out += text(margin + pad, y + 22, xml(name), "font-size=\"16\" font-weight=\"bold\"");
    std::string about = "chassis " + c;
    if (!s.fc_address.empty()) about += " - FC address " + shown_text(s.fc_address, 8);
    if (!s.wwn.empty()) about += " - WWN " + shown_text(s.wwn, 23);
    if (!s.firmware.empty()) about += " - firmware " + s.firmware;
    out += text(margin + pad, y + 44, xml(about), "font-size=\"13\"");
    if (!s.ports_read) return out + text(margin + pad, y + title_h + 14, "ports not read", "font-size=\"13\" font-style=\"italic\"") + "</g>\n";
    for (std::size_t i = 0; i < s.ports.size(); ++i) {
        const int col = static_cast<int>(i) % per_row, row = static_cast<int>(i) / per_row;
        out += cell(s, s.ports[i], margin + pad + col * (cell_w + gap), y + title_h + row * (cell_h + gap));
    }
    return out + "</g>\n";
}

std::string legend(int y) {
    std::string out = "<g id=\"legend\" class=\"legend\">\n";
    out += text(margin, y + 15, "legend", "font-size=\"14\" font-weight=\"bold\"");
    int x = margin;
    for (const cell_look* l : {&in_use, &linked, &idle, &offline, &failed, &testing}) {
        out += rect(x, y + 24, 28, 18, *l, 3);
        out += text(x + 34, y + 38, l->legend, "font-size=\"13\"");
        x += 200;
    }
    out += text(margin, y + 68,
                "each cell: port and type / admin and operational state / transceiver / devices, or the far end of "
                "its link",
                "font-size=\"13\"");
    return out + "</g>\n";
}

}  // namespace

std::string panel_svg(const fabric& f, const std::vector<int>& chassis) {
    std::vector<const fabric_switch*> shown;
    for (const fabric_switch& s : f.switches)
        if (chassis.empty() || std::find(chassis.begin(), chassis.end(), s.chassis) != chassis.end()) shown.push_back(&s);
    int height = margin;
    for (const fabric_switch* s : shown) height += block_height(*s) + block_gap;
    height += legend_h + margin;
    const std::string w = std::to_string(width), h = std::to_string(height);
    std::string out = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                      "<svg xmlns=\"http://www.w3.org/2000/svg\" id=\"port_panels\" width=\"" + w + "\" height=\"" + h +
                      "\" viewBox=\"0 0 " + w + " " + h + "\" font-family=\"DejaVu Sans, sans-serif\">\n"
                      "<defs>\n"
                      "<pattern id=\"hatch_offline\" width=\"8\" height=\"8\" patternUnits=\"userSpaceOnUse\" "
                      "patternTransform=\"rotate(45)\"><rect width=\"8\" height=\"8\" fill=\"#e6e6e6\"/>"
                      "<line x1=\"0\" y1=\"0\" x2=\"0\" y2=\"8\" stroke=\"#b3b3b3\" stroke-width=\"3\"/></pattern>\n"
                      "<pattern id=\"hatch_failed\" width=\"8\" height=\"8\" patternUnits=\"userSpaceOnUse\">"
                      "<rect width=\"8\" height=\"8\" fill=\"#f8d0d0\"/>"
                      "<path d=\"M0,0 L8,8 M8,0 L0,8\" stroke=\"#e08080\" stroke-width=\"1.5\"/></pattern>\n"
                      "</defs>\n"
                      "<rect width=\"100%\" height=\"100%\" fill=\"white\"/>\n";
    int y = margin;
    for (const fabric_switch* s : shown) {
        out += block(*s, y);
        y += block_height(*s) + block_gap;
    }
    return out + legend(y) + "</svg>\n";
}

}  // namespace telvar::picture
