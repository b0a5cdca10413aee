// The plain pieces a simulated switch is built from, shared by the fabric model and by the
// state records of the command families.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace sim {

using wwn_t = std::array<std::uint8_t, 8>;
using mac_t = std::array<std::uint8_t, 6>;

// Most ports a switch may have: the room of the port-state and port-types messages.
inline constexpr std::size_t max_ports = 24;
// The longest service time a switch may be given (latency_ms, --latency).
inline constexpr std::uint32_t max_latency_ms = 10000;
// Most devices on one port: the loop addresses of a loop's NL_Ports.
inline constexpr std::size_t max_loop_devices = 126;

// An N_Port or NL_Port logged in on a switch port.
struct device {
    std::uint8_t alpa = 0;  // 0 for the device of a point-to-point port
    wwn_t port_wwn{};
    wwn_t node_wwn{};
    bool initiator = false;
    // What it registered with the name server besides its WWNs.
    std::string port_name;                      // symbolic names, at most 255 characters
    std::string node_name;
    std::vector<std::uint8_t> fc4_types{8};     // SCSI-FCP
    std::uint32_t cos = 0x08;                   // class 3
    std::array<std::uint8_t, 4> ip{};           // IPv4 address, first octet first
};

// A port's hardware and what is plugged into it; its configuration belongs to the port family.
struct port {
    std::uint8_t gbic = 0;  // transceiver type code
    bool failed = false;    // hardware fault: operational state "fail"
    std::vector<device> devices;
};

}  // namespace sim
