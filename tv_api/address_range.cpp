// The list of addresses a base address and a network mask span, which discovery probes.
//
// Masks that span no address (no zero bit) or more than 2^24 of them are refused rather than
// looping or allocating without bound; a text that does not convert is refused too, instead of
// being read as the all-ones address.
#include <arpa/inet.h>

#include <algorithm>
#include <bit>
#include <cstdlib>

#include "tv_api/address_range.h"
#include "tv_api/alloc.h"
#include "tv_api/tv_inter.h"

namespace tv {

std::optional<address_range> range_from_mask(std::uint32_t base, std::uint32_t mask) {
    const std::uint32_t m = ntohl(mask);
    const auto shift = static_cast<unsigned>(std::countr_one(m));
    if (shift >= 32) return std::nullopt;
    // The shift fills the top with zeros that are not the mask's own: count no further than 32.
    const auto bits =
        std::min(static_cast<unsigned>(std::countr_zero(m >> shift)), 32 - shift);
    if (bits > max_range_bits) return std::nullopt;
    return address_range{ntohl(base) & m, shift, bits};
}

}  // namespace tv

namespace {

std::optional<std::uint32_t> parse_address(const char* text) {
    in_addr a{};
    if (text == nullptr || inet_aton(text, &a) == 0) return std::nullopt;
    return a.s_addr;
}

}  // namespace

extern "C" uint32_t* tv_ip_values_from_mask(const char* base, const char* mask) {
    const auto b = parse_address(base);
    const auto m = parse_address(mask);
    const auto range = b && m ? tv::range_from_mask(*b, *m) : std::nullopt;
    if (!range) {
        tv::publish(TV_ERR_PARAM);
        return nullptr;
    }
    const std::uint64_t n = range->size();
    auto* list = static_cast<uint32_t*>(tv::alloc_zeroed(n + 1, sizeof(uint32_t)));
    if (list == nullptr) {
        tv::publish(TV_ERR_NOMEM);
        return nullptr;
    }
    for (std::uint64_t j = 0; j < n; ++j) list[j] = range->at(static_cast<std::uint32_t>(j));
    tv::publish(TV_OK);
    return list;  // the calloc left the terminating 0
}
