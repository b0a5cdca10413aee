// The fabric map: which drawing a fabric gets, and the whole drawing, laid out by `dot`.
//
// The whole drawing puts each switch in a box of its own (a cluster): the switch on top of a
// column of its ports that carry devices or are in trouble, and to their right the devices, one
// node each or, above fold_above on a port, one node that counts them. The boxes stand side by
// side along the line the switches are linked in, so that the drawing is wider than it is tall
// as a screen is; each inter-switch link carries the port number at both ends.
//
// Every element carries an id and a class in the SVG (switch_C, port_C_P, link_C_P_C_P,
// device_ADDRESS, devices_C_P, legend_*), for tests, style sheets and scripts.
#include <algorithm>

#include "telvar/pictures/fabric_picture.h"
#include "telvar/pictures/map_parts.h"

namespace telvar::picture {

namespace {

using parts::label;
using parts::node;

bool shown(const port& p) { return !p.devices.empty() || p.condition != port_condition::up; }

bool folded(const port& p, const map_options& options) { return p.devices.size() > fold_above && !options.all_devices; }

// The port's node in the switch's column, and its devices to its right.
std::string port_nodes(const fabric_switch& s, const port& p, const map_options& options) {
    const std::string c = std::to_string(s.chassis), n = std::to_string(p.number);
    const std::string name = "c" + c + "p" + n;
    std::string out = parts::port_node(s, p);
    if (folded(p, options)) {
        out += node(name + "n", "devices_" + c + "_" + n, "devices folded", parts::folded_look, label({device_count(p.devices)}));
        return out + "    " + name + " -> " + name + "n;\n";
    }
    for (std::size_t i = 0; i < p.devices.size(); ++i) {
        const device& d = p.devices[i];
        const std::string dn = name + "d" + std::to_string(i);
        // The address is the device's id in the SVG; a malformed one in a hand-written file
        // falls back to its place, so that ids stay unique and plain.
        const bool plain = !d.fc_address.empty() && d.fc_address.find_first_not_of("0123456789abcdefx") == std::string::npos;
        const std::string id = plain ? "device_" + d.fc_address : "device_" + c + "_" + n + "_" + std::to_string(i);
        const parts::look& l = d.role == device_role::initiator ? parts::initiator_look
                          : d.role == device_role::target  ? parts::target_look
                                                           : parts::unknown_look;
        out += node(dn, id, std::string("device ") + role_word(d.role), l,
                    label({role_word(d.role) + std::string(" ") + shown_text(d.fc_address, 8), shown_text(d.name, 32),
                           shown_text(d.port_wwn, 23)}));
        out += "    " + name + " -> " + dn + ";\n";
    }
    return out;
}

// The switch's box: the switch and its ports in one column, held in order by unseen edges
// (dot stacks the tail of such an edge under its head, so they run from the last port up to
// the switch), the devices in the next.
std::string switch_cluster(const fabric_switch& s, const map_options& options) {
    const std::string c = std::to_string(s.chassis);
    std::string out = "  subgraph cluster_" + c + " {\n    id=\"chassis_" + c +
                      "\"; class=\"chassis\"; label=\"\"; style=\"rounded\"; color=\"#7f7f7f\";\n";
    out += parts::switch_node(s);
    std::string column = "    { rank=same; c" + c, order = "c" + c + " [style=invis];\n";
    for (const port& p : s.ports)
        if (shown(p)) {
            out += port_nodes(s, p, options);
            const std::string name = "c" + c + "p" + std::to_string(p.number);
            column += "; " + name;
            order = name + " -> " + order;
        }
    // Beside the switch, at the top of the devices' column, room kept free for the links.
    out += "    c" + c + "s [shape=box, style=invis, label=\"\", width=1.6, height=0.9];\n    c" + c + " -> c" + c + "s [style=invis, weight=20];\n";
    return out + column + " }\n" + (order.find(" -> ") == std::string::npos ? "" : "    " + order) + "  }\n";
}

}  // namespace

bool overview_of(const fabric& f, const shape_and_order& shape, const map_options& options) {
    if (options.all_devices) return false;
    if (shape.shape != fabric_shape::single && shape.shape != fabric_shape::line) return true;
    std::size_t devices = 0;
    for (const fabric_switch& s : f.switches)
        for (const port& p : s.ports) devices += p.devices.size();
    return f.switches.size() > whole_drawing_switches || devices > whole_drawing_devices;
}

std::string map_dot(const fabric& f, const shape_and_order& shape, const map_options& options) {
    std::string out = "digraph fabric {\n" + parts::defaults(10) +
                      "  graph [rankdir=LR, nodesep=0.15, ranksep=0.35, splines=line];\n";
    std::vector<const fabric_switch*> in_order;
    for (const int c : shape.order)
        for (const fabric_switch& s : f.switches)
            if (s.chassis == c) in_order.push_back(&s);
    // Within a column dot stacks what comes first at the bottom: the legend goes first.
    out += "  subgraph cluster_legend {\n    id=\"legend\"; label=\"legend\"; style=\"rounded\"; color=\"#7f7f7f\";\n" +
           parts::legend_nodes(true) +
           "    legend_switch -> legend_offline -> legend_initiator [style=invis];\n"
           "    legend_unreachable -> legend_failed -> legend_target [style=invis];\n"
           "    legend_failed -> legend_folded [style=invis];\n  }\n";
    for (const fabric_switch* s : in_order) out += switch_cluster(*s, options);
    // The boxes follow each other along the line (or by chassis), each to the right of the one
    // before, past its devices. The unseen edge that puts them there leaves from the first
    // device: from the switch or a port it would upset the order of their column.
    for (const link& l : f.links) {
        const auto a = std::find(shape.order.begin(), shape.order.end(), l.a.chassis);
        const auto b = std::find(shape.order.begin(), shape.order.end(), l.b.chassis);
        out += parts::link_edge(l, b < a, ", constraint=false, labelangle=-50, labeldistance=2");
    }
    for (std::size_t i = 1; i < in_order.size(); ++i)
        out += "  c" + std::to_string(in_order[i - 1]->chassis) + "s -> c" + std::to_string(in_order[i]->chassis) +
               " [style=invis];\n";
    return out + "}\n";
}

std::optional<std::string> map_svg(const fabric& f, const map_options& options, std::string& why) {
    const shape_and_order shape = shape_of(f);
    if (overview_of(f, shape, options)) return overview_svg(f, shape, why);
    return run_graphviz("dot", {"-Tsvg"}, map_dot(f, shape, options), why);
}

}  // namespace telvar::picture
