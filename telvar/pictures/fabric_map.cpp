// The fabric map: the model written as Graphviz input, laid out and drawn by `dot`.
//
// Left to right: each switch in a box of its own (a cluster) with, to its right, the ports that
// carry devices or are in trouble, and to their right the devices, one node each or, above
// fold_above on a port, one node that counts them. Inter-switch links join the switches and
// carry the port number at each end; they do not constrain the ranks, so that every switch
// stands in the first column. What is wrong is marked three ways, so that it shows in black
// and white too: a word in capitals, the outline (dashed, bold, diagonals) and the colour.
//
// Every element carries an id and a class in the SVG (switch_C, port_C_P, link_C_P_C_P,
// device_ADDRESS, devices_C_P, legend_*), for tests, style sheets and scripts.
#include <fcntl.h>
#include <spawn.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "telvar/pictures/fabric_picture.h"

extern char** environ;

namespace telvar::picture {

namespace {

// A DOT string: the lines, each escaped (Graphviz also reads entities such as &amp; in a
// label), joined by DOT's centred line break.
std::string label(std::initializer_list<std::string> lines) {
    std::string out = "\"";
    bool first = true;
    for (const std::string& line : lines) {
        if (line.empty()) continue;
        if (!first) out += "\\n";
        first = false;
        for (const char c : line) {
            if (c == '&') {
                out += "&amp;";
                continue;
            }
            if (c == '"' || c == '\\') out.push_back('\\');
            out.push_back(c);
        }
    }
    return out + "\"";
}

struct look {
    const char* shape;
    const char* style;
    const char* fill;
    const char* outline;
};

constexpr look switch_look{"box", "rounded,filled", "#dbe8f6", "black"};
constexpr look unreachable_look{"box", "rounded,dashed,bold,filled", "#f4cccc", "#c00000"};
constexpr look port_up_look{"box", "filled", "#e2f0d9", "black"};
constexpr look offline_look{"box", "dashed,filled", "#d9d9d9", "#404040"};
constexpr look failed_look{"box", "bold,diagonals,filled", "#f4a6a6", "#c00000"};
constexpr look testing_look{"box", "dotted,bold,filled", "#fff2b3", "#806000"};
constexpr look initiator_look{"box", "rounded,filled", "#ffffff", "black"};
constexpr look target_look{"cylinder", "filled", "#ffffff", "black"};
constexpr look unknown_look{"ellipse", "filled", "#ffffff", "black"};
constexpr look folded_look{"note", "filled", "#f2f2f2", "black"};

std::string node(const std::string& name, const std::string& id, const std::string& cls, const look& l,
                 const std::string& text) {
    return "    " + name + " [id=\"" + id + "\", class=\"" + cls + "\", shape=" + l.shape + ", style=\"" + l.style +
           "\", fillcolor=\"" + l.fill + "\", color=\"" + l.outline + "\", label=" + text + "];\n";
}

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

const look& look_of(device_role r) {
    return r == device_role::initiator ? initiator_look : r == device_role::target ? target_look : unknown_look;
}

std::string switch_node(const fabric_switch& s) {
    const std::string c = std::to_string(s.chassis);
    const std::string where = "chassis " + c + (s.fc_address.empty() ? "" : " - " + shown_text(s.fc_address, 8));
    if (!s.reachable)
        return node("c" + c, "switch_" + c, "switch unreachable", unreachable_look,
                    label({"UNREACHABLE", shown_text(s.status), where, s.wwn.empty() ? "" : "WWN " + shown_text(s.wwn, 23)}));
    return node("c" + c, "switch_" + c, "switch", switch_look,
                label({shown_text(s.description.empty() ? "switch " + s.wwn : s.description), where,
                       "WWN " + shown_text(s.wwn, 23), s.firmware.empty() ? "" : "firmware " + s.firmware}));
}

// The port's node, and its devices to its right.
std::string port_nodes(const fabric_switch& s, const port& p, const map_options& options) {
    const std::string c = std::to_string(s.chassis), n = std::to_string(p.number);
    const std::string name = "c" + c + "p" + n;
    std::string out = node(name, "port_" + c + "_" + n, class_of(p.condition), look_of(p.condition),
                           label({"port " + n + " " + shown_text(p.type, 16), condition_mark(p)}));
    out += "    c" + c + " -> " + name + ";\n";
    if (p.devices.size() > fold_above && !options.all_devices) {
        std::size_t initiators = 0, targets = 0;
        for (const device& d : p.devices) {
            initiators += d.role == device_role::initiator;
            targets += d.role == device_role::target;
        }
        const std::string roles = initiators + targets == 0 ? "" : plural(initiators, "initiator") + ", " + plural(targets, "target");
        out += node(name + "n", "devices_" + c + "_" + n, "devices folded", folded_look,
                    label({plural(p.devices.size(), "device"), roles}));
        return out + "    " + name + " -> " + name + "n;\n";
    }
    for (std::size_t i = p.devices.size(); i-- > 0;) {
        const device& d = p.devices[i];
        const std::string dn = name + "d" + std::to_string(i);
        // The address is the device's id in the SVG; a malformed one in a hand-written file
        // falls back to its place, so that ids stay unique and plain.
        const bool plain = !d.fc_address.empty() && d.fc_address.find_first_not_of("0123456789abcdefx") == std::string::npos;
        const std::string id = plain ? "device_" + d.fc_address : "device_" + c + "_" + n + "_" + std::to_string(i);
        out += node(dn, id, std::string("device ") + role_word(d.role), look_of(d.role),
                    label({role_word(d.role), shown_text(d.name, 32), shown_text(d.port_wwn, 23), shown_text(d.fc_address, 8)}));
        out += "    " + name + " -> " + dn + ";\n";
    }
    return out;
}

std::string legend() {
    std::string out = "  subgraph cluster_legend {\n    id=\"legend\"; label=\"legend\"; style=\"rounded\"; color=\"#7f7f7f\";\n";
    out += node("legend_switch", "legend_switch", "legend", switch_look, label({"switch", "chassis - FC address", "WWN, firmware"}));
    out += node("legend_unreachable", "legend_unreachable", "legend", unreachable_look, label({"UNREACHABLE", "switch"}));
    out += node("legend_offline", "legend_offline", "legend", offline_look, label({"port", "OFFLINE"}));
    out += node("legend_failed", "legend_failed", "legend", failed_look, label({"port", "FAILED"}));
    out += node("legend_initiator", "legend_initiator", "legend", initiator_look, label({"initiator"}));
    out += node("legend_target", "legend_target", "legend", target_look, label({"target"}));
    out += node("legend_folded", "legend_folded", "legend", folded_look,
                label({"devices above " + std::to_string(fold_above), "on a port, counted"}));
    // Three columns, as the map's: switches, ports, devices.
    out += "    legend_switch -> legend_offline -> legend_initiator [style=invis];\n"
           "    legend_unreachable -> legend_failed -> legend_target [style=invis];\n"
           "    legend_failed -> legend_folded [style=invis];\n  }\n";
    return out;
}

}  // namespace

std::string map_dot(const fabric& f, const map_options& options) {
    std::string out =
        "digraph fabric {\n"
        "  graph [id=\"fabric_map\", rankdir=LR, fontname=\"DejaVu Sans\", fontsize=11, nodesep=0.15, ranksep=0.4];\n"
        "  node [fontname=\"DejaVu Sans\", fontsize=10];\n"
        "  edge [fontname=\"DejaVu Sans\", fontsize=10, arrowhead=none, color=\"#404040\"];\n";
    // Within a column dot stacks what comes first at the bottom: the legend comes first, then
    // the switches, ports and devices from the last, so that chassis 1 and port 1 are on top.
    out += legend();
    for (auto it = f.switches.rbegin(); it != f.switches.rend(); ++it) {
        const fabric_switch& s = *it;
        const std::string c = std::to_string(s.chassis);
        out += "  subgraph cluster_" + c + " {\n    id=\"chassis_" + c +
               "\"; class=\"chassis\"; label=\"\"; style=\"rounded\"; color=\"#7f7f7f\";\n";
        out += switch_node(s);
        for (auto p = s.ports.rbegin(); p != s.ports.rend(); ++p)
            if (!p->devices.empty() || p->condition != port_condition::up) out += port_nodes(s, *p, options);
        out += "  }\n";
    }
    for (const link& l : f.links) {
        const std::string a = std::to_string(l.a.chassis), ap = std::to_string(l.a.port);
        const std::string b = std::to_string(l.b.chassis), bp = std::to_string(l.b.port);
        out += "  c" + a + " -> c" + b + " [id=\"link_" + a + "_" + ap + "_" + b + "_" + bp +
               "\", class=\"link\", taillabel=\"" + ap + "\", headlabel=\"" + bp +
               "\", constraint=false, penwidth=2.5, color=\"#1f4e79\", fontcolor=\"#1f4e79\"];\n";
    }
    return out + "}\n";
}

namespace {

// An anonymous in-memory file, so that neither side of the child's input and output can fill a
// pipe and wait for the other.
struct memory_file {
    int fd = memfd_create("telvar-map", MFD_CLOEXEC);
    ~memory_file() {
        if (fd >= 0) close(fd);
    }
    bool write_all(const std::string& text) const {
        for (std::size_t done = 0; done < text.size();) {
            const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) return false;
            done += static_cast<std::size_t>(n);
        }
        return lseek(fd, 0, SEEK_SET) == 0;
    }
    std::string read_all() const {
        std::string out;
        if (lseek(fd, 0, SEEK_SET) != 0) return out;
        char buffer[65536];
        for (;;) {
            const ssize_t n = ::read(fd, buffer, sizeof buffer);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) return out;
            out.append(buffer, static_cast<std::size_t>(n));
        }
    }
};

}  // namespace

std::optional<std::string> run_dot(const std::string& input, std::string& why) {
    memory_file in, out, err;
    if (in.fd < 0 || out.fd < 0 || err.fd < 0 || !in.write_all(input)) {
        why = std::string("cannot hand the map to Graphviz: ") + std::strerror(errno);
        return std::nullopt;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in.fd, 0);
    posix_spawn_file_actions_adddup2(&actions, out.fd, 1);
    posix_spawn_file_actions_adddup2(&actions, err.fd, 2);
    char program[] = "dot", format[] = "-Tsvg";
    char* argv[] = {program, format, nullptr};
    pid_t pid = -1;
    const int spawned = posix_spawnp(&pid, program, &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) {
        why = std::string("cannot run dot (Graphviz): ") + std::strerror(spawned);
        return std::nullopt;
    }
    int wait_status = 0;
    while (waitpid(pid, &wait_status, 0) < 0 && errno == EINTR) {
    }
    if (!WIFEXITED(wait_status) || WEXITSTATUS(wait_status) != 0) {
        std::string text = err.read_all();
        text = text.substr(0, text.find('\n'));
        why = "dot (Graphviz) failed" + (text.empty() ? std::string() : ": " + shown_text(text, 200));
        return std::nullopt;
    }
    return out.read_all();
}

}  // namespace telvar::picture
