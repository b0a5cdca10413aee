// The pieces both drawings of the map are made of (fabric_map.cpp, map_overview.cpp): the looks
// of switches, ports and devices, and their Graphviz nodes with the ids and classes the SVG
// carries (switch_C, port_C_P, device_ADDRESS, devices_C_P, legend_*).
#pragma once

#include <vector>
#include <string>

#include "telvar/pictures/fabric_picture.h"

namespace telvar::picture::parts {

struct look {
    const char* shape;
    const char* style;
    const char* fill;
    const char* outline;
};

inline constexpr look switch_look{"box", "rounded,filled", "#dbe8f6", "black"};
inline constexpr look unreachable_look{"box", "rounded,dashed,bold,filled", "#f4cccc", "#c00000"};
inline constexpr look port_up_look{"box", "filled", "#e2f0d9", "black"};
inline constexpr look offline_look{"box", "dashed,filled", "#d9d9d9", "#404040"};
inline constexpr look failed_look{"box", "bold,diagonals,filled", "#f4a6a6", "#c00000"};
inline constexpr look testing_look{"box", "dotted,bold,filled", "#fff2b3", "#806000"};
inline constexpr look initiator_look{"box", "rounded,filled", "#ffffff", "black"};
inline constexpr look target_look{"cylinder", "filled", "#ffffff", "black"};
inline constexpr look unknown_look{"ellipse", "filled", "#ffffff", "black"};
inline constexpr look folded_look{"note", "filled", "#f2f2f2", "black"};

// A DOT string of the lines (empty ones left out), each escaped, joined by centred line breaks.
std::string label(const std::vector<std::string>& lines);

// A node statement; `extra` is added to its attributes as it stands.
std::string node(const std::string& name, const std::string& id, const std::string& cls, const look& l,
                 const std::string& text, const std::string& extra = "");

// The switch's node, named cC; `more` is a further line (the overview's device count).
std::string switch_node(const fabric_switch& s, const std::string& more = "");

// The port's node, named cCpP, with its state.
std::string port_node(const fabric_switch& s, const port& p);

// The statement of an inter-switch link, drawn from end a to end b, or from b to a when
// `b_first`, with the port number at each end or, `in_the_middle`, both in one label there
// ("16 - 1", the tail's first); `extra` is added to its attributes.
std::string link_edge(const link& l, bool b_first, const std::string& extra = "", bool in_the_middle = false);

// The legend's nodes, named legend_*; the devices' looks only when devices are drawn.
std::string legend_nodes(bool devices_drawn);
inline constexpr const char* legend_names_with_devices[] = {"legend_switch", "legend_unreachable", "legend_offline",
                                                            "legend_failed", "legend_initiator",   "legend_target",
                                                            "legend_folded"};

// The graph, node and edge defaults both drawings share.
std::string defaults(int font_size);

}  // namespace telvar::picture::parts
