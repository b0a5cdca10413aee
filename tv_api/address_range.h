// Address arithmetic of discovery: the range of addresses a base address and a network mask
// span, and the address after another one.
//
// Addresses are 32-bit values in network byte order, as in_addr keeps them; the arithmetic is
// done on the value read most significant octet first, so the last dotted octet holds the least
// significant bits whatever the host's byte order.
#pragma once

#include <arpa/inet.h>

#include <cstdint>
#include <optional>

namespace tv {

// Longest run of varying bits accepted: 2^24 addresses (a 64 MiB list).
inline constexpr unsigned max_range_bits = 24;

// The lowest run of zero bits of a mask varies over every value; every other bit is the base
// address's network part, so higher zero bits of the mask stay 0 in every address.
struct address_range {
    std::uint32_t network;  // base AND mask, most significant octet first
    unsigned shift;         // one bits of the mask below the varying run
    unsigned bits;          // width of the varying run

    std::uint64_t size() const { return std::uint64_t{1} << bits; }
    // Address j of the range (j < size()), in network byte order.
    std::uint32_t at(std::uint32_t j) const { return htonl(network | (j << shift)); }
};

// The range of base and mask (both in network byte order); nullopt when the mask has no zero
// bit or its lowest zero run is longer than max_range_bits.
std::optional<address_range> range_from_mask(std::uint32_t base, std::uint32_t mask);

// The address after `addr` as a 32-bit number (10.0.0.255 is followed by 10.0.1.0), both in
// network byte order.
inline std::uint32_t next_address(std::uint32_t addr) { return htonl(ntohl(addr) + 1); }

}  // namespace tv
