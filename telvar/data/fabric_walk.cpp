// The breadth-first walk over a fabric's links, and its logins (see fabric_walk.h).
#include "telvar/data/fabric_walk.h"

#include <memory>

#include <algorithm>
#include <cstring>
#include <deque>
#include <set>

#include "tv_api/lanes.h"

namespace telvar::fabric {

void use_login(tv_context* ctx, const char* user, const char* password) {
    const auto store = [](char (&field)[8], const char* text) {
        std::memset(field, 0, sizeof field);
        if (text != nullptr) std::memcpy(field, text, strnlen(text, sizeof field));
    };
    store(ctx->user_id, user);
    store(ctx->password, password);
    ctx->login_required = 1;
}

walk_logins::walk_logins(tv_context* ctx)
    : ctx_(ctx), active_(ctx->login_required != 0), owners_(active_ && ctx->last_activity != 0) {}

void walk_logins::adopt(std::uint32_t address) {
    if (active_) sessions_[key(address)] = {address, TV_OK, false};
}

int32_t walk_logins::log_in(std::optional<std::uint32_t> address) {
    if (!active_) return TV_OK;
    if (const auto it = sessions_.find(key(address)); it != sessions_.end()) return it->second.status;
    const std::uint32_t back = ctx_->dest_fc_addr;
    if (address) tv_set_dest_addr(ctx_, *address);
    const std::uint32_t dest = ctx_->dest_fc_addr;
    const std::uint32_t stamp = ctx_->last_activity;
    // Both null: the credentials the context holds.
    const int32_t code = tv_login(ctx_, nullptr, nullptr);
    ctx_->dest_fc_addr = back;
    // A refused login keeps the stamp of the owner's.
    if (code != TV_OK && owners_) ctx_->last_activity = stamp;
    sessions_[key(address)] = {dest, code, code == TV_OK};
    return code;
}

bool walk_logins::holds(std::optional<std::uint32_t> address) const {
    const auto it = sessions_.find(key(address));
    return it != sessions_.end() && it->second.ours;
}

void walk_logins::hand_over(std::optional<std::uint32_t> address) {
    if (const auto it = sessions_.find(key(address)); it != sessions_.end()) it->second.ours = false;
}

void walk_logins::log_out_all() {
    const int32_t status = tv_api_errno;
    const std::uint32_t dest = ctx_->dest_fc_addr;
    const std::uint32_t stamp = ctx_->last_activity;
    for (auto& [chassis, s] : sessions_) {
        if (!s.ours) continue;
        ctx_->dest_fc_addr = s.dest;
        tv_logout(ctx_);
        s.ours = false;
    }
    ctx_->dest_fc_addr = dest;
    // The owner's login to the start outlives the walk's elsewhere.
    if (owners_) ctx_->last_activity = stamp;
    tv_api_errno = status;
}

int32_t visit::read_identity(tv_version_info& v) {
    const int32_t code = tv_get_version(ctx_, &v);
    if (code == TV_OK && !address_) {
        address_ = switch_addr_of(v.ver_info3);
        if (owners_start_) logins_.adopt(*address_);
        if (o_.follow_links) tv_set_dest_addr(ctx_, *address_);
    }
    return code;
}

int32_t visit::read_links() {
    struct tell {
        const std::function<void()>& f;
        ~tell() {
            if (f) f();
        }
    } told{links_read_};
    tv_free_switch_links(&links_);
    links_ = {};
    if (const int32_t code = log_in(); code != TV_OK) return code;
    const int32_t code = tv_get_switch_links(ctx_, &links_);
    if (address_) tv_set_dest_addr(ctx_, *address_);
    // A list whose read failed part way is the snapshot's "not read": it follows none of it.
    if (code != TV_OK && !(o_.follow_failed_links && links_listed())) return code;
    for (int i = 0; i < links_.count; ++i) {
        const tv_switch_link& l = links_.links[i];
        next_.push_back(switch_addr_of(l.remote_fc_addr));
        // A far end that did not give its identity is left for its visit to find out about.
        if (std::any_of(std::begin(l.remote_wwn), std::end(l.remote_wwn), [](std::uint8_t b) { return b != 0; }))
            logins_.log_in(next_.back());
    }
    tv_api_errno = code;
    return code;
}

int walk(tv_context* ctx, std::optional<std::uint32_t> start, const walk_options& o,
         const std::function<void(visit&)>& each, const std::function<void(int done, int known)>& progress) {
    walk_logins logins(ctx);
    if (start && logins.owner_logged_in()) logins.adopt(*start);
    std::deque<std::optional<std::uint32_t>> queue{start};
    std::set<int> known;
    if (start) known.insert(chassis_of(*start));
    int done = 0;
    while (!queue.empty()) {
        visit v(ctx, queue.front(), o, logins, done == 0 && logins.owner_logged_in());
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
    logins.log_out_all();
    return done;
}

// The side-by-side walk numbers the switches as walk() queues them: the far ends of visit k
// are numbered once visit k and every visit before it have read their links, in that order,
// so a switch reached through two paths gets the number the first path gives it.
int walk_side_by_side(tv_context* ctx, std::optional<std::uint32_t> start, const walk_options& o,
                      const std::function<void(visit&, int index)>& each,
                      const std::function<void(int done, int known)>& progress) {
    if (!o.follow_links || !tv::lanes_usable(ctx)) {
        int index = 0;
        return walk(ctx, start, o, [&](visit& v) { each(v, index++); }, progress);
    }
    struct slot {
        std::optional<std::uint32_t> address;
        bool links_known = false;
        std::vector<std::uint32_t> next;
    };
    std::deque<slot> slots;
    std::set<int> known;
    if (start) known.insert(chassis_of(*start));
    std::size_t numbered = 0;  // visits whose far ends are numbered
    int done = 0;
    walk_logins logins(ctx);  // inactive: lanes are not used where logins are made
    tv::lanes lanes(*ctx, o.at_once);
    std::function<void(std::optional<std::uint32_t>)> add;
    const auto number_far_ends = [&] {
        for (; numbered < slots.size() && slots[numbered].links_known; ++numbered)
            for (const std::uint32_t a : std::vector(slots[numbered].next))  // add() grows slots
                if (known.insert(chassis_of(a)).second) add(a);
    };
    add = [&](std::optional<std::uint32_t> address) {
        const int index = static_cast<int>(slots.size());
        slots.push_back({address, false, {}});
        lanes.add(address.value_or(ctx->dest_fc_addr), [&, index](tv_context* lane_ctx) {
            slot& s = slots[static_cast<std::size_t>(index)];
            visit v(lane_ctx, s.address, o, logins);
            const auto links_read = [&] {
                if (s.links_known) return;
                s.links_known = true;
                // A start known by its identity is known once it has answered.
                if (!s.address && v.address_known()) known.insert(chassis_of(v.address()));
                s.next = v.next();
                number_far_ends();
            };
            v.when_links_read(links_read);
            each(v, index);
            links_read();  // a visit that did not read its links leads nowhere
            ++done;
            if (progress) progress(done, static_cast<int>(known.size()));
        });
    };
    add(start);
    lanes.run();
    return done;
}

void in_walk_order::write(int index, std::string_view text) {
    if (index == head_)
        sink_(text);
    else if (deflate_)
        kept_.try_emplace(index).first->second.append(text);
    else
        kept_plain_[index] += text;
}

void in_walk_order::finish(int index) {
    finished_.insert(index);
    while (finished_.erase(head_) != 0) {
        ++head_;
        // The next visit's text so far goes out now; the rest of it goes straight through.
        if (const auto it = kept_.find(head_); it != kept_.end()) {
            it->second.drain(sink_);
            kept_.erase(it);
        }
        if (const auto it = kept_plain_.find(head_); it != kept_plain_.end()) {
            sink_(it->second);
            kept_plain_.erase(it);
        }
    }
}

}  // namespace telvar::fabric
