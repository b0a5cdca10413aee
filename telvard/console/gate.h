// Who may call the console, and how a caller proves it. Every API route goes through `guard`:
//   - `Authorization: Bearer TOKEN` (API clients), or the session cookie a login set;
//   - a request that changes anything (any method but GET and HEAD) made with the cookie must
//     carry the session's CSRF token in `X-CSRF-Token`: a page of another site can make the
//     browser send the cookie, never read the token;
//   - routes for administrators refuse the read role (403).
// POST /login takes a token and opens a session; failed logins are limited per client address.
#pragma once

#include <functional>
#include <optional>
#include <variant>
#include <string>
#include <vector>

#include "http_server/message.h"
#include "telvard/console/sessions.h"
#include "telvard/console/tokens.h"

namespace telvard::console {

inline constexpr const char* session_cookie = "telvard_session";

struct caller {
    role grants = role::read;
    std::string session;  // the cookie's session id; empty for a bearer token
    std::string csrf;     // the session's CSRF token; empty for a bearer token
};

using guarded_handler = std::function<http::response(const http::request&, const caller&)>;

class gate {
public:
    // `secure`: the console is served over TLS, so the cookie is marked Secure.
    gate(std::vector<token> tokens, bool secure, std::chrono::seconds session_life = std::chrono::hours(8));

    // `run` for callers that prove who they are (and, when `admin_only`, are administrators).
    http::handler guard(guarded_handler run, bool admin_only = false);

    // POST /login ({"token": "..."}), POST /logout, GET /api/session.
    std::vector<http::route> routes();

private:
    // The role a token grants, checked against every token in constant time.
    std::optional<role> role_of(std::string_view secret) const;
    // The caller of a request, or the answer that refuses it.
    std::variant<caller, http::response> admit(const http::request& r);
    http::response login(const http::request& r);

    std::vector<token> tokens_;
    bool secure_;
    sessions sessions_;
    login_limit limit_;
};

}  // namespace telvard::console
