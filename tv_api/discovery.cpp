// Switch discovery: probing a range of IPv4 addresses with the version request and listing the
// addresses that answered.
//
// One context is moved from address to address, so every probe shares one socket and one run of
// sequence numbers, and a late answer from an earlier address is discarded as stale. Discovery
// mode (short waits, small budget) is switched on at the start and off only when the scan
// completes. Contexts and the partial result are held by RAII owners, so every exit closes and
// releases what it opened; only the finished result is handed to the caller, in C allocations.
#include <arpa/inet.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <span>

#include "tv_api/address_range.h"
#include "tv_api/alloc.h"
#include "tv_api/command_support.h"
#include "tv_api/tv_inter.h"

namespace {

// Closing a probe's context leaves the status code as the scan set it.
using context_ptr = tv::owned_context<&tv::close_context>;

struct result_deleter {
    void operator()(char** result) const { tv_free_discovery(result, nullptr); }
};
using result_ptr = std::unique_ptr<char*, result_deleter>;

using address_text = std::array<char, INET_ADDRSTRLEN>;

void to_text(uint32_t addr, address_text& out) {
    in_addr a{};
    a.s_addr = addr;
    inet_ntop(AF_INET, &a, out.data(), static_cast<socklen_t>(out.size()));
}

char** fail_null(int32_t code) {
    tv::publish(code);
    return nullptr;
}

context_ptr open_scan_context(const char* host) {
    int32_t status = TV_OK;
    context_ptr ctx{tv::open_context(host, 0, status)};
    if (!ctx) tv::publish(status);
    return ctx;
}

// The addresses that answered so far, in a null-terminated array with room for all probes.
class found_list {
public:
    explicit found_list(std::size_t probes)
        : texts_{static_cast<char**>(tv::alloc_zeroed(probes + 1, sizeof(char*)))}, room_{probes} {}
    explicit operator bool() const { return texts_ != nullptr; }
    // False when the copy cannot be allocated.
    bool add(const char* text) {
        if (used_ == room_) return true;  // more probes than counted cannot happen
        char* copy = tv::copy_text(text);
        if (copy == nullptr) return false;
        texts_.get()[used_++] = copy;
        return true;
    }
    char** release() { return texts_.release(); }

private:
    result_ptr texts_;
    std::size_t room_;
    std::size_t used_ = 0;
};

// Probes the context's current remote address; `text` becomes its host_text.
bool probe(tv_context* ctx, address_text& text, found_list& found) {
    to_text(ctx->remote_addr.sin_addr.s_addr, text);
    ctx->host_text = text.data();
    tv_version_info version{};
    return tv::get_version(ctx, version) != TV_OK || found.add(text.data());
}

std::span<const uint32_t> entries_of(const uint32_t* list) {
    std::size_t n = 0;
    while (list[n] != 0) ++n;
    return {list, n};
}

}  // namespace

extern "C" {

char** tv_discover(const uint32_t* list, const char* base, int32_t count) {
    Discover = 1;
    if (list == nullptr && count < 0) return fail_null(TV_ERR_PARAM);

    address_text text{};  // outlives the contexts whose host_text it is
    context_ptr ctx = open_scan_context(base);
    if (!ctx) return nullptr;

    // The last entry of a list is where the scan context ends up, never probed: a list from
    // tv_ip_values_from_mask ends with the all-ones host address of its range.
    const auto entries = list ? entries_of(list) : std::span<const uint32_t>{};
    const std::size_t probes =
        list ? (entries.empty() ? 0 : entries.size() - 1) : static_cast<std::size_t>(count);
    if (!entries.empty()) {
        to_text(entries[0], text);
        ctx.reset();
        ctx = open_scan_context(text.data());
        if (!ctx) return nullptr;
    }

    found_list found{probes};
    if (!found) return fail_null(TV_ERR_NOMEM);
    for (std::size_t k = 0; k < probes; ++k) {
        if (!probe(ctx.get(), text, found)) return fail_null(TV_ERR_NOMEM);
        in_addr_t& remote = ctx->remote_addr.sin_addr.s_addr;
        remote = list ? entries[k + 1] : tv::next_address(remote);
    }

    ctx.reset();
    Discover = 0;
    tv::publish(TV_OK);
    return found.release();
}

void tv_free_discovery(char** result, uint32_t* list) {
    if (result != nullptr) {
        for (char** text = result; *text != nullptr; ++text) std::free(*text);
        std::free(result);
    }
    std::free(list);
}

}  // extern "C"
