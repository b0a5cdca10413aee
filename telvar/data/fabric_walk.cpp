// The breadth-first walk over a fabric's links, and its logins (see fabric_walk.h).
#include "telvar/data/fabric_walk.h"

#include <algorithm>
#include <cstring>
#include <deque>
#include <set>

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

}  // namespace telvar::fabric
