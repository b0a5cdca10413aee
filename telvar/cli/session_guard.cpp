#include "telvar/cli/session_guard.h"

#include <algorithm>
#include <cstdlib>
#include <vector>

#include "telvar/framework/output.h"
#include "telvar/telvar.h"

namespace telvar::tool {

namespace {

std::vector<tv_context*> open_contexts;

void log_out(tv_context* ctx) {
    if (ctx->login_required == 0 || ctx->last_activity == 0) return;
    const int32_t status = tv_api_errno;  // the command's outcome, not the logout's
    tv_logout(ctx);
    tv_api_errno = status;
}

void opened(tv_context* ctx) { open_contexts.push_back(ctx); }

void closing(tv_context* ctx) {
    const auto it = std::ranges::find(open_contexts, ctx);
    if (it == open_contexts.end()) return;  // a login that failed: nothing to leave
    open_contexts.erase(it);
    log_out(ctx);
}

void at_exit() {
    for (tv_context* ctx : open_contexts) log_out(ctx);
    open_contexts.clear();
}

}  // namespace

void guard_sessions() {
    set_context_observers(opened, closing);
    static const int registered = std::atexit(at_exit);  // once, however often the tool's entry runs
    (void)registered;
}

}  // namespace telvar::tool
