// The simulated fabric: plain data that the command handlers read and change.
//
// One `fabric` holds every switch the simulator serves and the inter-switch links between
// them. A switch keeps its configuration twice, active and saved: commands change the active
// set, a save copies it to the saved set and a reset reloads the saved set. Everything else
// (identity, sensors, attached devices) is hardware and survives a reset.
#pragma once

#include <netinet/in.h>

#include <array>
#include <chrono>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace sim {

using wwn_t = std::array<std::uint8_t, 8>;
using mac_t = std::array<std::uint8_t, 6>;

// Most ports a switch may have: the room of the port-state and port-types messages.
inline constexpr std::size_t max_ports = 24;

// An N_Port or NL_Port logged in on a switch port.
struct device {
    std::uint8_t alpa = 0;  // 0 for the device of a point-to-point port
    wwn_t port_wwn{};
    wwn_t node_wwn{};
    bool initiator = false;
};

// What a port's configuration commands change; saved and reloaded as a whole.
struct port_config {
    std::uint8_t type = 1;         // port type code, 1 F, 2 FL, 3 T, 4 SL, 5 TL
    std::uint8_t admin = 1;        // administrative state code, 1 on, 2 off, 3 test
    std::uint8_t al_disabled = 1;  // arbitrated loop disabled
    std::uint8_t mfs_mode = 0;

    bool operator==(const port_config&) const = default;
};

struct port {
    port_config cfg;
    std::uint8_t gbic = 0;         // transceiver type code
    bool failed = false;           // hardware fault: operational state "fail"
    std::vector<device> devices;
};

struct fan {
    bool installed = true;
    std::uint8_t status = 0;  // 0 OK, 1 failed
};

struct user {
    std::string id;
    std::string password;
    std::uint8_t level = 1;  // 1 to 3; 3 may manage accounts
};

struct switch_state {
    std::string name;
    in_addr_t ip = 0;  // network order; 0: reachable only through the fabric
    std::uint8_t chassis = 0;
    std::uint32_t fc_addr = 0;

    // Identity.
    std::uint32_t flash_rev = 0;
    std::uint32_t hw_rev = 0;
    std::uint32_t prom_rev = 0;
    std::uint32_t ver_info1 = 0;
    std::uint32_t ver_info2 = 0;
    std::uint32_t ver_info4 = 0;
    wwn_t wwn{};
    mac_t mac{};
    std::uint8_t model = 1;

    // Chassis status and sensors.
    std::uint8_t power_status = 0;
    std::uint8_t temp_status = 0;
    std::int32_t temperature = 60;  // half degrees Celsius
    std::array<fan, 2> fans{};
    std::uint8_t sensor_index = 0;
    std::array<std::uint8_t, 12> sensor_states{};

    // Management system information.
    std::string description;
    std::string contact;
    std::string location;
    std::chrono::steady_clock::time_point booted = std::chrono::steady_clock::now();

    std::vector<port> ports;
    std::vector<port_config> saved_ports;

    // Accounts and login: a manager (its IP address and UDP port) is logged in as a user
    // from a successful login until its logout or a reset of the switch.
    std::vector<user> users;
    bool login_required = false;
    std::map<std::uint64_t, std::string> sessions;

    const user* find_user(const std::string& id) const;
};

// The key of a manager's session: its IPv4 address and UDP port.
constexpr std::uint64_t peer_key(in_addr_t ip, std::uint16_t port) {
    return std::uint64_t{ip} << 16 | port;
}

// An inter-switch link between two ports (switch indices into fabric::switches, ports from 0).
struct link {
    std::size_t switch_a = 0;
    std::uint8_t port_a = 0;
    std::size_t switch_b = 0;
    std::uint8_t port_b = 0;
};

struct fabric {
    std::vector<switch_state> switches;
    std::vector<link> links;

    std::optional<std::size_t> find_by_ip(in_addr_t ip) const;
    std::optional<std::size_t> find_by_chassis(std::uint8_t chassis) const;
    // The other end of a link on this port, if any.
    struct link_end {
        std::size_t sw;
        std::uint8_t port;
    };
    std::optional<link_end> remote_of(std::size_t sw, std::uint8_t port) const;
};

// The FC address of switch k of a generated fabric.
constexpr std::uint32_t fc_addr_of_chassis(std::uint8_t chassis) {
    return 0x100000u | (std::uint32_t{chassis} << 14);
}

// Chassis number of an FC address (bits 14 to 19).
constexpr std::uint8_t chassis_of(std::uint32_t fc_addr) {
    return static_cast<std::uint8_t>((fc_addr >> 14) & 0x3F);
}

// Operational state of a port as the switch reports it.
std::uint8_t operational_state(const fabric& f, std::size_t sw, std::uint8_t port);
// Whether something is logged in on the port (a device, or a switch over a working link).
bool logged_in(const fabric& f, std::size_t sw, std::uint8_t port);
// The type code a port takes for the wire code of a set-port-type message (1 = fabric port,
// decided by loop mode and link; 4 SL; 5 TL); nullopt for a code the switch refuses.
std::optional<std::uint8_t> type_for_wire_code(const fabric& f, std::size_t sw, std::uint8_t port,
                                               std::uint8_t wire_code);

// Copies the active configuration to the saved set, or the saved set back (a reset).
void save_config(switch_state& s);
void reload_config(switch_state& s);

// Checks the fabric's consistency; an empty text means it is sound.
std::string check_fabric(const fabric& f);

}  // namespace sim
