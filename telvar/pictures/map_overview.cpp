// The overview of a fabric: the switches and their links, each switch with the count of its
// devices and its ports in trouble. It is drawn in two passes. The engine the fabric's shape calls
// for places the nodes (circo a ring, dot a line in rows, neato a mesh), read back in Graphviz's
// plain format; then each link's port numbers are given the angle and distance from its ends
// at which their boxes meet no edge, no node and no other label, and `neato -n2` draws the
// picture at exactly those places, with straight edges, so that what was checked is what is
// drawn. The legend goes in a row below, and the picture says that it is an overview.
#include <algorithm>
#include <array>
#include <cmath>
#include <map>
#include <sstream>

#include "telvar/pictures/fabric_picture.h"
#include "telvar/pictures/map_parts.h"

namespace telvar::picture {

namespace {

constexpr int font_size = 14;  // points: 18 px at 100 %, 12 px still when a 12-switch ring fits 1600 px

struct point {
    double x = 0, y = 0;
};

struct box {  // centre and size, in points, y up as Graphviz has it
    double x = 0, y = 0, w = 0, h = 0;
    bool meets(const box& o, double gap) const {
        return std::abs(x - o.x) * 2 < w + o.w + 2 * gap && std::abs(y - o.y) * 2 < h + o.h + 2 * gap;
    }
    // Whether the segment p-q passes within `gap` of the box (the segment clipped to it).
    bool crossed_by(point p, point q, double gap) const {
        double t0 = 0, t1 = 1;
        const double dx = q.x - p.x, dy = q.y - p.y;
        const std::array<std::pair<double, double>, 4> sides{{{-dx, p.x - (x - w / 2 - gap)},
                                                              {dx, (x + w / 2 + gap) - p.x},
                                                              {-dy, p.y - (y - h / 2 - gap)},
                                                              {dy, (y + h / 2 + gap) - p.y}}};
        for (const auto& [towards, room] : sides) {
            if (towards == 0) {
                if (room < 0) return false;
                continue;
            }
            const double t = room / towards;
            if (towards < 0) t0 = std::max(t0, t);
            else t1 = std::min(t1, t);
            if (t0 > t1) return false;
        }
        return true;
    }
};

// Where the line from the box's centre towards `to` leaves the box.
point border_towards(const box& b, point to) {
    const double dx = to.x - b.x, dy = to.y - b.y;
    const double scale = std::min(dx == 0 ? INFINITY : b.w / 2 / std::abs(dx), dy == 0 ? INFINITY : b.h / 2 / std::abs(dy));
    return std::isinf(scale) ? point{b.x, b.y} : point{b.x + dx * scale, b.y + dy * scale};
}

// The box of a port number as Graphviz sets it, a little generous.
box number_box(point centre, const std::string& text) {
    return {centre.x, centre.y, 0.65 * font_size * static_cast<double>(text.size()) + 6, 1.3 * font_size};
}

struct drawn_link {
    const link* l = nullptr;
    bool b_first = false;  // drawn from end b
    int angle = 45;
    double distance = 2.4;  // Graphviz's labeldistance: tens of points
};

std::string name_of(int chassis) { return "c" + std::to_string(chassis); }

// The nodes of both passes (the links apart). The first pass only measures the ports in trouble:
// they are placed afterwards, outwards of their switch, and only then tied to it.
std::string graph_body(const fabric& f, bool ports_tied) {
    std::string out = parts::legend_nodes(false);
    for (const fabric_switch& s : f.switches) {
        std::vector<device> devices;
        for (const port& p : s.ports) devices.insert(devices.end(), p.devices.begin(), p.devices.end());
        out += parts::switch_node(s, s.ports_read ? device_count(devices) : "ports not read");
        for (const port& p : s.ports)
            if (p.condition != port_condition::up)
                out += parts::port_node(s, p) + (ports_tied ? "  " + name_of(s.chassis) + " -> " + name_of(s.chassis) + "p" +
                                                                  std::to_string(p.number) + " [class=\"port_of\"];\n"
                                                            : "");
    }
    return out;
}

// The first pass's engine and the layout it is asked for.
struct first_pass {
    const char* engine;
    std::string graph;
};

// A long line goes in rows, each after the first turning back under the one before, as many to
// a row as keep the rows wider than they are tall together.
std::size_t per_row(const shape_and_order& shape) {
    // The least k with k * k >= 1.6 n, in whole numbers.
    std::size_t k = 1;
    while (k < 6 && 5 * k * k < 8 * shape.order.size()) ++k;
    return k;
}

// Whether the row of the switch at `place` along the line runs right to left.
bool turned_back(std::size_t place, std::size_t row_length) { return place / row_length % 2 == 1; }

first_pass layout_of(const fabric& f, const shape_and_order& shape, const std::vector<drawn_link>& links) {
    std::string out = "digraph fabric {\n" + parts::defaults(font_size) + graph_body(f, false);
    for (const drawn_link& d : links) out += parts::link_edge(*d.l, d.b_first);
    if (shape.shape == fabric_shape::ring)
        return {"circo", out + "  graph [mindist=0.8];\n}\n"};
    if (shape.shape != fabric_shape::line)
        return {"neato", out + "  graph [overlap=false, sep=\"+24\", splines=false, start=1];\n}\n"};
    const std::size_t n = shape.order.size(), length = per_row(shape);
    out += "  graph [rankdir=TB, nodesep=0.6, ranksep=0.5];\n";
    for (std::size_t first = 0; first < n; first += length) {
        std::vector<int> row(shape.order.begin() + first, shape.order.begin() + std::min(n, first + length));
        if (turned_back(first, length)) std::reverse(row.begin(), row.end());
        out += "  { rank=same;";
        for (const int c : row) out += " " + name_of(c) + ";";
        out += " }\n";
        if (first > 0) out += "  " + name_of(shape.order[first - 1]) + " -> " + name_of(shape.order[first]) + " [style=invis, minlen=2];\n";
    }
    return {"dot", out + "}\n"};
}

// Graphviz's plain output: the nodes' centres and sizes in points.
std::map<std::string, box> boxes_of(const std::string& plain) {
    std::map<std::string, box> out;
    std::istringstream lines(plain);
    for (std::string line; std::getline(lines, line);) {
        std::istringstream words(line);
        std::string kind, name;
        box b;
        if (words >> kind >> name >> b.x >> b.y >> b.w >> b.h && kind == "node")
            out[name] = {b.x * 72, b.y * 72, b.w * 72, b.h * 72};
    }
    return out;
}

// Gives each link the angle and distance of its port numbers (the same at both ends, as
// Graphviz has it) at which they meet the fewest things, none when it can.
void place_numbers(std::vector<drawn_link>& links, const std::vector<std::pair<point, point>>& edges,
                   const std::map<std::string, box>& boxes) {
    // The turns tried, with their cosines and sines: the numbers go round a link's direction
    // by rotating it, which needs no trigonometry at run time.
    struct turn {
        int degrees;
        double cos, sin;
    };
    constexpr double c45 = 0.70710678118654752, s60 = 0.86602540378443865;
    constexpr double c75 = 0.25881904510252076, s75 = 0.96592582628906829;
    constexpr std::array<turn, 8> turns{{{45, c45, c45}, {-45, c45, -c45}, {60, 0.5, s60}, {-60, 0.5, -s60},
                                         {30, s60, 0.5}, {-30, s60, -0.5}, {75, c75, s75}, {-75, c75, -s75}}};
    constexpr std::array distances{2.2, 2.8, 3.6, 4.6};
    std::vector<box> placed;
    for (drawn_link& d : links) {
        const neighbour tail = d.b_first ? d.l->b : d.l->a, head = d.b_first ? d.l->a : d.l->b;
        const box& t = boxes.at(name_of(tail.chassis));
        const box& h = boxes.at(name_of(head.chassis));
        const point te = border_towards(t, {h.x, h.y}), he = border_towards(h, {t.x, t.y});
        // The link's direction from tail to head, as a unit vector (along the x axis when the
        // two ends meet).
        const double dx = h.x - t.x, dy = h.y - t.y, length = std::sqrt(dx * dx + dy * dy);
        const double ax = length > 0 ? dx / length : 1, ay = length > 0 ? dy / length : 0;
        std::size_t fewest = SIZE_MAX;
        std::array<box, 2> chosen{};
        for (std::size_t k = 0; k < distances.size() * turns.size() && fewest != 0; ++k) {
            const double distance = distances[k / turns.size()];
            const turn& tn = turns[k % turns.size()];
            const double reach = 10 * distance;
            // The direction turned, from the tail; from the head it points the other way.
            const double ux = ax * tn.cos - ay * tn.sin, uy = ay * tn.cos + ax * tn.sin;
            const std::array<box, 2> numbers{number_box({te.x + reach * ux, te.y + reach * uy}, std::to_string(tail.port)),
                                             number_box({he.x - reach * ux, he.y - reach * uy}, std::to_string(head.port))};
            std::size_t met = 0;
            for (const box& b : numbers) {
                for (const auto& [p, q] : edges) met += b.crossed_by(p, q, 2);
                for (const auto& [_, other] : boxes) met += b.meets(other, 2);
                for (const box& other : placed) met += b.meets(other, 2);
            }
            if (met < fewest) {
                fewest = met;
                chosen = numbers;
                d.angle = tn.degrees;
                d.distance = distance;
            }
        }
        placed.insert(placed.end(), chosen.begin(), chosen.end());
    }
}

// Puts each switch's ports in trouble in a row that leads away from the middle of the fabric,
// where no link runs.
void place_ports(const fabric& f, std::map<std::string, box>& boxes) {
    point middle;
    for (const fabric_switch& s : f.switches) {
        middle.x += boxes[name_of(s.chassis)].x / static_cast<double>(f.switches.size());
        middle.y += boxes[name_of(s.chassis)].y / static_cast<double>(f.switches.size());
    }
    for (const fabric_switch& s : f.switches) {
        const box& sw = boxes[name_of(s.chassis)];
        double dx = sw.x - middle.x, dy = sw.y - middle.y;
        const double length = std::sqrt(dx * dx + dy * dy);
        if (length < 1) dx = 0, dy = -1;
        else dx /= length, dy /= length;
        const point border = border_towards(sw, {sw.x + dx * 1e4, sw.y + dy * 1e4});
        const double bx = border.x - sw.x, by = border.y - sw.y;
        double reach = std::sqrt(bx * bx + by * by) + 24;
        for (const port& p : s.ports) {
            const auto it = boxes.find(name_of(s.chassis) + "p" + std::to_string(p.number));
            if (it == boxes.end()) continue;
            box& b = it->second;
            const double half = std::abs(dx) * b.w / 2 + std::abs(dy) * b.h / 2;
            b.x = sw.x + dx * (reach + half);
            b.y = sw.y + dy * (reach + half);
            reach += 2 * half + 12;
        }
    }
}

std::string fixed(double v) {
    char t[32];
    std::snprintf(t, sizeof t, "%.2f", v);
    return t;
}

}  // namespace

std::optional<std::string> overview_svg(const fabric& f, const shape_and_order& shape, std::string& why) {
    std::vector<drawn_link> links;
    for (const link& l : f.links) {
        const auto a = std::find(shape.order.begin(), shape.order.end(), l.a.chassis);
        const auto b = std::find(shape.order.begin(), shape.order.end(), l.b.chassis);
        // Along a line the link goes from the switch before to the one after, but right to left
        // in a row that turns back, as dot sets the tail of a link within a row on the left.
        const bool back = shape.shape == fabric_shape::line && a != b &&
                          turned_back(static_cast<std::size_t>(std::min(a, b) - shape.order.begin()), per_row(shape)) &&
                          turned_back(static_cast<std::size_t>(std::max(a, b) - shape.order.begin()), per_row(shape));
        links.push_back({&l, (b < a) != back});
    }
    const first_pass first = layout_of(f, shape, links);
    const auto plain = run_graphviz(first.engine, {"-Tplain"}, first.graph, why);
    if (!plain) return std::nullopt;
    std::map<std::string, box> boxes = boxes_of(*plain);
    for (const fabric_switch& s : f.switches)
        if (!boxes.contains(name_of(s.chassis))) {
            why = std::string(first.engine) + " (Graphviz) placed no switch " + std::to_string(s.chassis);
            return std::nullopt;
        }

    place_ports(f, boxes);
    // The legend goes under the fabric, left-aligned, in a row.
    std::map<std::string, box> legend;
    double left = INFINITY, bottom = INFINITY;
    for (auto it = boxes.begin(); it != boxes.end();) {
        if (it->first.starts_with("legend_")) {
            legend.insert(*it);
            it = boxes.erase(it);
            continue;
        }
        left = std::min(left, it->second.x - it->second.w / 2);
        bottom = std::min(bottom, it->second.y - it->second.h / 2);
        ++it;
    }
    double x = left;
    for (const char* name : {"legend_switch", "legend_unreachable", "legend_offline", "legend_failed"}) {
        box& b = legend[name];
        b.x = x + b.w / 2;
        b.y = bottom - 48 - b.h / 2;
        x += b.w + 24;
    }

    std::vector<std::pair<point, point>> edges;
    for (const drawn_link& d : links)
        edges.push_back({{boxes[name_of(d.l->a.chassis)].x, boxes[name_of(d.l->a.chassis)].y},
                         {boxes[name_of(d.l->b.chassis)].x, boxes[name_of(d.l->b.chassis)].y}});
    for (const fabric_switch& s : f.switches)
        for (const port& p : s.ports)
            if (const auto it = boxes.find(name_of(s.chassis) + "p" + std::to_string(p.number)); it != boxes.end())
                edges.push_back({{boxes[name_of(s.chassis)].x, boxes[name_of(s.chassis)].y}, {it->second.x, it->second.y}});
    place_numbers(links, edges, boxes);

    std::size_t devices = 0;
    for (const fabric_switch& s : f.switches)
        for (const port& p : s.ports) devices += p.devices.size();
    std::string out = "digraph fabric {\n" + parts::defaults(font_size) + "  graph [splines=false, labelloc=t, label=" +
                      parts::label({"Overview of " + std::to_string(f.switches.size()) + (f.switches.size() == 1 ? " switch" : " switches") + " and " +
                                    plural(devices, "device") + ": the devices are counted on each switch "
                                    "(telvar map --devices draws every one)"}) +
                      "];\n" + graph_body(f, true);
    for (const drawn_link& d : links)
        out += parts::link_edge(*d.l, d.b_first,
                                ", labelangle=" + std::to_string(d.angle) + ", labeldistance=" + fixed(d.distance));
    boxes.merge(legend);
    for (const auto& [name, b] : boxes) out += "  " + name + " [pos=\"" + fixed(b.x) + "," + fixed(b.y) + "!\"];\n";
    return run_graphviz("neato", {"-n2", "-Tsvg"}, out + "}\n", why);
}

}  // namespace telvar::picture
