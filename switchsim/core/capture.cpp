#include "switchsim/core/capture.h"

#include <array>
#include <vector>

namespace sim {

namespace {

constexpr std::uint32_t pcap_magic = 0xA1B2C3D4;  // microsecond timestamps
constexpr std::uint32_t linktype_ipv4 = 228;
constexpr std::uint32_t snaplen = 65535;
constexpr std::size_t ip_header = 20;
constexpr std::size_t udp_header = 8;

// The pcap headers are in the writer's byte order (the magic tells readers which).
template <class T>
void put_host(std::vector<std::uint8_t>& out, T v) {
    const auto* p = reinterpret_cast<const std::uint8_t*>(&v);
    out.insert(out.end(), p, p + sizeof v);
}

void put_be16(std::vector<std::uint8_t>& out, std::uint16_t v) {
    out.push_back(static_cast<std::uint8_t>(v >> 8));
    out.push_back(static_cast<std::uint8_t>(v));
}

// Addresses and ports of sockaddr_in are already in network order.
void put_raw(std::vector<std::uint8_t>& out, const void* p, std::size_t n) {
    const auto* b = static_cast<const std::uint8_t*>(p);
    out.insert(out.end(), b, b + n);
}

std::uint16_t ip_checksum(const std::uint8_t* h, std::size_t n) {
    std::uint32_t sum = 0;
    for (std::size_t i = 0; i + 1 < n; i += 2) sum += static_cast<std::uint32_t>(h[i] << 8 | h[i + 1]);
    while (sum >> 16) sum = (sum & 0xFFFF) + (sum >> 16);
    return static_cast<std::uint16_t>(~sum);
}

}  // namespace

pcap_writer::~pcap_writer() {
    if (file_ != nullptr) std::fclose(file_);
}

bool pcap_writer::open(const std::string& path) {
    if (file_ != nullptr) std::fclose(file_);
    file_ = std::fopen(path.c_str(), "wb");
    if (file_ == nullptr) return false;
    std::vector<std::uint8_t> h;
    put_host<std::uint32_t>(h, pcap_magic);
    put_host<std::uint16_t>(h, 2);
    put_host<std::uint16_t>(h, 4);
    put_host<std::int32_t>(h, 0);
    put_host<std::uint32_t>(h, 0);
    put_host<std::uint32_t>(h, snaplen);
    put_host<std::uint32_t>(h, linktype_ipv4);
    return std::fwrite(h.data(), 1, h.size(), file_) == h.size() && std::fflush(file_) == 0;
}

void pcap_writer::write(const sockaddr_in& src, const sockaddr_in& dst,
                        std::span<const std::uint8_t> data, std::chrono::system_clock::time_point when) {
    if (file_ == nullptr) return;
    const std::size_t payload = std::min<std::size_t>(data.size(), snaplen - ip_header - udp_header);
    const auto total = static_cast<std::uint16_t>(ip_header + udp_header + payload);
    const auto us = std::chrono::duration_cast<std::chrono::microseconds>(when.time_since_epoch()).count();

    std::vector<std::uint8_t> rec;
    rec.reserve(16 + total);
    put_host<std::uint32_t>(rec, static_cast<std::uint32_t>(us / 1000000));
    put_host<std::uint32_t>(rec, static_cast<std::uint32_t>(us % 1000000));
    put_host<std::uint32_t>(rec, total);
    put_host<std::uint32_t>(rec, total);

    const std::size_t ip_at = rec.size();
    rec.push_back(0x45);  // IPv4, 20-byte header
    rec.push_back(0);
    put_be16(rec, total);
    put_be16(rec, ip_id_++);
    put_be16(rec, 0x4000);  // don't fragment
    rec.push_back(64);      // TTL
    rec.push_back(17);      // UDP
    put_be16(rec, 0);       // checksum, filled below
    put_raw(rec, &src.sin_addr.s_addr, 4);
    put_raw(rec, &dst.sin_addr.s_addr, 4);
    const std::uint16_t sum = ip_checksum(rec.data() + ip_at, ip_header);
    rec[ip_at + 10] = static_cast<std::uint8_t>(sum >> 8);
    rec[ip_at + 11] = static_cast<std::uint8_t>(sum);

    put_raw(rec, &src.sin_port, 2);
    put_raw(rec, &dst.sin_port, 2);
    put_be16(rec, static_cast<std::uint16_t>(udp_header + payload));
    put_be16(rec, 0);  // no UDP checksum (allowed over IPv4)
    rec.insert(rec.end(), data.begin(), data.begin() + static_cast<std::ptrdiff_t>(payload));
    std::fwrite(rec.data(), 1, rec.size(), file_);
}

void pcap_writer::flush() {
    if (file_ != nullptr) std::fflush(file_);
}

}  // namespace sim
