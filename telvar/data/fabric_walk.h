// The walk over a fabric's links that the snapshot and the exporter share: which switches are
// reached, through which links, and what they answered to the two reads every visit is built
// on, the identity and the links.
//
// Breadth first from one switch: each switch is reached once by its chassis number, in the
// order its links were first met, and addressed through the one context by its FC address.
// The walk sends nothing of its own: a visit reads the identity and the links when its owner
// asks, in the owner's order (the exporter logs in between the two), and only the far ends of
// a visit's links read lead the walk on. A visit that does not read its links ends that branch.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "proto/topology/layout.h"
#include "telvar/tv_api.h"

namespace telvar::fabric {

using tv::layout::topology::chassis_of;
using tv::layout::topology::switch_addr_of;

struct walk_options {
    // Follow the links. Without, the walk is the one switch at the start.
    bool follow_links = true;
    // A links read that ended in a failure (a far end that did not give its identity is the
    // usual one) still leads on to the far ends it listed.
    bool follow_failed_links = false;
};

// One switch the walk has reached, for the time of its visit; the context addresses it.
class visit {
public:
    visit(tv_context* ctx, std::optional<std::uint32_t> address, const walk_options& o)
        : ctx_(ctx), address_(address), o_(o) {}
    ~visit() { tv_free_switch_links(&links_); }
    visit(const visit&) = delete;
    visit& operator=(const visit&) = delete;

    tv_context* ctx() const { return ctx_; }
    // The switch's FC address (domain and chassis); 0 until its identity is read when the walk
    // started at the context's own destination.
    std::uint32_t address() const { return address_.value_or(0); }
    bool address_known() const { return address_.has_value(); }

    // Reads the switch's version record; returns its status. A switch reached through the
    // context's own destination learns its address here and, when links are followed, is
    // addressed by it from then on, as every other switch of the walk is.
    int32_t read_identity(tv_version_info& v);

    // Reads the switch's links and hands their far ends to the walk; returns the status of the
    // read. Reading links moves the context along them: it addresses this switch again after
    // (once its address is known: read the identity first).
    int32_t read_links();
    // What the links read listed (count 0 until read); valid for the visit.
    const tv_switch_links& links() const { return links_; }
    // Whether the read produced a list, even one whose last far end did not answer.
    bool links_listed() const { return links_.links != nullptr; }

    // The far ends to go on to (switch addresses, in the order of the links).
    const std::vector<std::uint32_t>& next() const { return next_; }

private:
    tv_context* ctx_;
    std::optional<std::uint32_t> address_;
    const walk_options& o_;
    tv_switch_links links_{};
    std::vector<std::uint32_t> next_;
};

// Walks from the switch at `start` (none: the switch the context addresses, known by its
// identity), pointing the context at each switch before `each` visits it; `progress` (may be
// empty) learns after each visit how many switches are done and how many are known. Returns
// the number of switches visited.
int walk(tv_context* ctx, std::optional<std::uint32_t> start, const walk_options& o, const std::function<void(visit&)>& each,
         const std::function<void(int done, int known)>& progress = {});

}  // namespace telvar::fabric
