// The defaults-file parser on any text: the input is read in pieces as the loader reads a
// file, each applied to staging messages filled with a marker. A write outside the fields that
// the keys name, a per-port byte past the switch's port count, a firmware name outside its
// piece or a change bit beyond the two defined aborts. The first input byte is the port count.
#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "proto/chassis/layout.h"
#include "proto/netconfig/layout.h"
#include "tv_api/operations/defaults_file.h"

namespace {

namespace N = tv::layout::netconfig;
namespace P = tv::layout::chassis::param;
constexpr std::uint8_t marker = 0xA5;

bool writable_param(std::size_t i, std::size_t ports) {
    if (i == P::mfs_tov || i == P::mfs_tov + 1) return true;
    if (i >= P::ra_tov && i < P::ed_tov + 4) return true;
    if (i >= P::force_f_port && i < P::force_f_port + ports) return true;
    return i >= P::mfs_mode && i < P::mfs_mode + ports;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::array<std::uint8_t, N::len> net;
    std::array<std::uint8_t, P::len> params;
    net.fill(marker);
    params.fill(marker);
    params[P::port_count] = size > 0 ? data[0] : 0;
    const std::size_t ports = std::min<std::size_t>(params[P::port_count], P::per_port);

    std::uint32_t changed = 0;
    std::string_view rest(reinterpret_cast<const char*>(data), size);
    while (!rest.empty()) {
        const std::size_t n = tv::defaults::next_piece(rest);
        if (n == 0 || n > tv::defaults::piece_len) std::abort();
        const std::string_view piece = rest.substr(0, n);
        const auto out = tv::defaults::apply_piece(piece, {net, params}, changed);
        if (out.what == tv::defaults::verdict::flash &&
            (out.value.empty() || out.value.data() < piece.data() ||
             out.value.data() + out.value.size() > piece.data() + piece.size()))
            std::abort();
        rest.remove_prefix(n);
    }
    if (changed & ~3u) std::abort();
    for (std::size_t i = 0; i < net.size(); ++i)
        if ((i < N::ip_addr || i >= N::arp_timeout + 4) && net[i] != marker) std::abort();
    for (std::size_t i = 0; i < params.size(); ++i)
        if (i != P::port_count && !writable_param(i, ports) && params[i] != marker) std::abort();
    return 0;
}
