// The breadth-first walk over a fabric's links (see fabric_walk.h).
#include "telvar/data/fabric_walk.h"

#include <deque>
#include <set>

namespace telvar::fabric {

int32_t visit::read_identity(tv_version_info& v) {
    const int32_t code = tv_get_version(ctx_, &v);
    if (code == TV_OK && !address_) {
        address_ = switch_addr_of(v.ver_info3);
        if (o_.follow_links) tv_set_dest_addr(ctx_, *address_);
    }
    return code;
}

int32_t visit::read_links() {
    tv_free_switch_links(&links_);
    links_ = {};
    const int32_t code = tv_get_switch_links(ctx_, &links_);
    if (address_) tv_set_dest_addr(ctx_, *address_);
    // A list whose read failed part way is the snapshot's "not read": it follows none of it.
    if (code == TV_OK || (o_.follow_failed_links && links_listed()))
        for (int i = 0; i < links_.count; ++i) next_.push_back(switch_addr_of(links_.links[i].remote_fc_addr));
    return code;
}

int walk(tv_context* ctx, std::optional<std::uint32_t> start, const walk_options& o,
         const std::function<void(visit&)>& each, const std::function<void(int done, int known)>& progress) {
    std::deque<std::optional<std::uint32_t>> queue{start};
    std::set<int> known;
    if (start) known.insert(chassis_of(*start));
    int done = 0;
    while (!queue.empty()) {
        visit v(ctx, queue.front(), o);
        queue.pop_front();
        if (v.address_known()) tv_set_dest_addr(ctx, v.address());
        each(v);
        // A start known by its identity is known once it has answered.
        if (!start && done == 0 && v.address_known()) known.insert(chassis_of(v.address()));
        if (o.follow_links)
            for (const std::uint32_t a : v.next())
                if (known.insert(chassis_of(a)).second) queue.push_back(a);
        ++done;
        if (progress) progress(done, static_cast<int>(known.size()));
    }
    return done;
}

}  // namespace telvar::fabric
