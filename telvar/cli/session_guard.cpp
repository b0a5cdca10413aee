#include "telvar/cli/session_guard.h"

#include <algorithm>
#include <cstdlib>
#include <vector>

#include "telvar/framework/output.h"
#include "telvar/telvar.h"

namespace telvar::tool {

namespace {

std::vector<tv_context*> open_contexts;
bool any_opened = false;
bool any_refused = false;

void log_out(tv_context* ctx) {
    if (ctx->login_required == 0 || ctx->last_activity == 0) return;
    const int32_t status = tv_api_errno;  // the command's outcome, not the logout's
    tv_logout(ctx);
    tv_api_errno = status;
}

void opened(tv_context* ctx) {
    open_contexts.push_back(ctx);
    any_opened = true;
}

void closing(tv_context* ctx) {
    // Closing resets the status, so an argument refused after opening is noted here.
    if (tv_api_errno == TV_ERR_PARAM) any_refused = true;
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

bool context_was_opened() { return any_opened; }

bool argument_was_refused() { return any_refused; }

void guard_sessions() {
    set_context_observers(opened, closing);
    std::atexit(at_exit);
}

}  // namespace telvar::tool
