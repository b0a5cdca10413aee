// A pcap file of every datagram the simulator receives and sends, readable by tcpdump, tshark
// and Wireshark: link type "raw IPv4", each datagram with an IPv4 and a UDP header.
#pragma once

#include <netinet/in.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <span>
#include <string>

namespace sim {

class pcap_writer {
public:
    pcap_writer() = default;
    ~pcap_writer();
    pcap_writer(const pcap_writer&) = delete;
    pcap_writer& operator=(const pcap_writer&) = delete;

    // Creates (truncates) the file and writes its header; false when it cannot be written.
    bool open(const std::string& path);
    bool is_open() const { return file_ != nullptr; }
    void write(const sockaddr_in& src, const sockaddr_in& dst, std::span<const std::uint8_t> data,
               std::chrono::system_clock::time_point when = std::chrono::system_clock::now());
    void flush();

private:
    std::FILE* file_ = nullptr;
    std::uint16_t ip_id_ = 0;
};

}  // namespace sim
