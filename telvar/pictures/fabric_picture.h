// Pictures of the fabric, drawn from the snapshot document (fabric_snapshot.h) so that a live
// fabric and a saved snapshot give the same picture:
//
//   telvar map [-o FILE.svg] [--devices] <ip-address|snapshot.json>
//       the switches, the inter-switch links with the port numbers at both ends, and the ports in
//       trouble; laid out by Graphviz (run as a child process). A small fabric linked as a line
//       is drawn whole, each port in use with its devices (`dot`); any other fabric as an
//       overview that counts the devices of each switch and lays the switches out by the
//       fabric's shape (a ring by `circo`, a line in rows by `dot`, a mesh by `neato`), unless
//       --devices asks for the whole drawing.
//   telvar panel [-o FILE.svg] <ip-address|snapshot.json> [switch]
//       each switch as a front panel: one cell per port in port order, with a legend; our own
//       SVG, as a grid needs no layout.
//
// The document is first read into the plain model below, which checks every count against
// what a fabric can hold, so that the drawing code never meets a malformed document. Both
// pictures are deterministic: no time, no source address, everything in chassis, port and
// document order.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "telvar/data/json_records.h"

namespace telvar::picture {

using json = ::telvar::json::json;

enum class port_condition { up, offline, failed, testing };
enum class device_role { initiator, target, unknown };  // unknown: the snapshot has no initiator table

struct device {
    std::string fc_address;
    std::string port_wwn;  // empty when the name server did not list the address
    std::string name;      // the port's or else the node's symbolic name
    device_role role = device_role::unknown;
};

struct neighbour {
    int chassis = 0;
    int port = 0;
};

struct port {
    int number = 0;  // from 1
    std::string type, admin, operational, transceiver;
    port_condition condition = port_condition::up;
    std::vector<device> devices;
    std::optional<neighbour> linked;  // the far end of an inter-switch link on this port
};

struct fabric_switch {
    int chassis = 0;
    std::string fc_address, wwn, description, firmware;
    bool reachable = true;   // its record carries no failure
    std::string status;      // the failure's message
    bool ports_read = false;
    std::vector<port> ports;  // in port order
};

struct link {
    neighbour a, b;  // a before b in (chassis, port) order
};

struct fabric {
    std::vector<fabric_switch> switches;  // by chassis
    std::vector<link> links;              // each once, in order
};

// Reads a snapshot document; nullopt with the reason when it is not one or holds more than a
// fabric can (64 switches, 24 ports each, 126 devices on a port). A link to a chassis without a
// record adds that switch, unreachable.
std::optional<fabric> read_fabric(const json& doc, std::string& why);

// Texts from a switch as the pictures show them: printable ASCII (any other character becomes '?'),
// at most `room` characters (the last one an ellipsis '~' when cut).
std::string shown_text(std::string_view text, std::size_t room = 48);

// The state of a port in capitals, as the pictures mark it ("OFFLINE", "FAILED", "IN TEST").
std::string condition_mark(const port& p);

// "initiator", "target" or "device" (the role is unknown).
const char* role_word(device_role role);

// "1 device", "3 devices".
std::string plural(std::size_t n, const char* word);

// The devices as one count that cannot be misread: "1 device: an initiator", "3 devices:
// 1 initiator, 2 targets", "4 devices: all targets", or "2 devices" when the roles are unknown.
std::string device_count(const std::vector<device>& devices);

// How the switches are linked. `order` lists the chassis along a line from its end of lower
// chassis, around a ring from its lowest chassis towards the lower of its two neighbours, or
// else by chassis.
enum class fabric_shape { single, line, ring, mesh };
struct shape_and_order {
    fabric_shape shape = fabric_shape::mesh;
    std::vector<int> order;
};
shape_and_order shape_of(const fabric& f);

// Devices on a port are drawn one by one up to this many, and folded into a count above it.
inline constexpr std::size_t fold_above = 4;

// The map draws every port in use and its devices for a fabric linked as a line (or a single
// switch) of at most this many switches and devices; above, or for a ring or a mesh, it draws
// the overview.
inline constexpr std::size_t whole_drawing_switches = 4, whole_drawing_devices = 60;

struct map_options {
    bool all_devices = false;  // --devices: the whole drawing, never folded
};

// Whether the map of `f` is the overview.
bool overview_of(const fabric& f, const shape_and_order& shape, const map_options& options);

// The Graphviz input of the whole drawing (for `dot`).
std::string map_dot(const fabric& f, const shape_and_order& shape, const map_options& options);

// The SVG of the overview: the switches laid out by the engine their shape calls for, then the
// link labels placed clear of every edge and the drawing made by `neato -n2` at those places.
std::optional<std::string> overview_svg(const fabric& f, const shape_and_order& shape, std::string& why);

// The map's SVG: the whole drawing or the overview; nullopt with the reason.
std::optional<std::string> map_svg(const fabric& f, const map_options& options, std::string& why);

// Runs a Graphviz program ("dot", "circo", "neato") with the arguments over the input; its
// output, or nullopt with the reason.
std::optional<std::string> run_graphviz(const char* program, const std::vector<std::string>& arguments,
                                        const std::string& input, std::string& why);

// The panels of the switches (all of them when `chassis` is empty) as one SVG document.
std::string panel_svg(const fabric& f, const std::vector<int>& chassis);

// The commands (argv[0] is the command word); each returns the tool's exit status.
int32_t map(int32_t argc, char** argv);
int32_t panel(int32_t argc, char** argv);

}  // namespace telvar::picture
