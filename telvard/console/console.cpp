// The console's server: the gate, the routes of each group, the security headers (see
// console.h).
#include "telvard/console/console.h"

#include "telvard/console/gate.h"
#include "telvard/console/replies.h"
#include "telvard/console/routes.h"

namespace telvard::console {

console::console() = default;
console::~console() = default;

std::unique_ptr<console> console::start(options o, sources given, http::start_error& error) {
    std::unique_ptr<console> c(new console());
    c->sources_ = std::make_unique<sources>(given);
    const sources& s = *c->sources_;
    c->gate_ = std::make_unique<gate>(std::move(o.tokens), o.tls.has_value());
    http::config cfg{o.address, o.port, o.limit, std::move(o.tls), {}, common_headers()};
    for (auto group : {c->gate_->routes(), fabric_routes(*c->gate_, s), history_routes(*c->gate_, s),
                       live_routes(*c->gate_, s), asset_routes()})
        for (http::route& r : group) cfg.routes.push_back(std::move(r));
    c->server_ = http::server::start(std::move(cfg), error);
    if (!c->server_) return nullptr;
    return c;
}

}  // namespace telvard::console
