// Authentication, CSRF and roles (see gate.h).
#include "telvard/console/gate.h"

#include <variant>

#include "history/time_text.h"
#include "telvar/data/data_cmds.h"
#include "telvard/console/replies.h"

namespace telvard::console {

namespace {

std::string header(const http::request& r, const std::string& name) {
    const auto it = r.headers.find(name);
    return it == r.headers.end() ? "" : it->second;
}

// The value of a cookie of the Cookie header ("" when absent).
std::string cookie(const http::request& r, std::string_view name) {
    const std::string all = header(r, "cookie");
    std::string_view rest = all;
    while (!rest.empty()) {
        const std::size_t end = std::min(rest.find(';'), rest.size());
        std::string_view pair = rest.substr(0, end);
        rest.remove_prefix(std::min(end + 1, rest.size()));
        while (!pair.empty() && pair.front() == ' ') pair.remove_prefix(1);
        const std::size_t eq = pair.find('=');
        if (eq != std::string_view::npos && pair.substr(0, eq) == name) return std::string(pair.substr(eq + 1));
    }
    return "";
}

bool changes_state(const http::request& r) { return r.method != "GET" && r.method != "HEAD"; }

json session_json(const caller& c, std::optional<clock::time_point> ends) {
    json out = {{"role", role_name(c.grants)}, {"csrf", c.csrf}};
    if (ends) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(*ends - clock::now()).count();
        out["expires"] = telvar::history::time_text(telvar::history::now_ms() + left);
    }
    return out;
}

}  // namespace

gate::gate(std::vector<token> tokens, bool secure, std::chrono::seconds session_life)
    : tokens_(std::move(tokens)), secure_(secure), sessions_(session_life) {}

std::optional<role> gate::role_of(std::string_view secret) const {
    // Every token is compared, so the time does not say which one matched or how far.
    std::optional<role> found;
    for (const token& t : tokens_)
        if (same_secret(t.secret, secret)) found = t.grants;
    return found;
}

std::variant<caller, http::response> gate::admit(const http::request& r) {
    const std::string authorization = header(r, "authorization");
    if (!authorization.empty()) {
        constexpr std::string_view bearer = "Bearer ";
        if (!authorization.starts_with(bearer)) return error_reply(401, "the Authorization header takes Bearer TOKEN");
        const auto grants = role_of(std::string_view(authorization).substr(bearer.size()));
        if (!grants) return error_reply(401, "unknown token");
        return caller{*grants, "", ""};
    }
    const std::string id = cookie(r, session_cookie);
    if (id.empty()) return error_reply(401, "log in first, or send Authorization: Bearer TOKEN");
    const auto s = sessions_.find(id);
    if (!s) return error_reply(401, "the session has ended: log in again");
    caller c{s->grants, id, s->csrf};
    if (changes_state(r) && !same_secret(header(r, "x-csrf-token"), s->csrf))
        return error_reply(403, "the X-CSRF-Token header is missing or wrong");
    return c;
}

http::handler gate::guard(guarded_handler run, bool admin_only) {
    return [this, run = std::move(run), admin_only](const http::request& r) {
        auto admitted = admit(r);
        if (auto* refused = std::get_if<http::response>(&admitted)) return std::move(*refused);
        const caller& c = std::get<caller>(admitted);
        if (admin_only && c.grants != role::admin) return error_reply(403, "this needs an administrator's token");
        return run(r, c);
    };
}

http::response gate::login(const http::request& r) {
    if (const long wait = limit_.wait_s(r.peer); wait > 0) {
        http::response refused = error_reply(429, "too many failed logins from this address: wait " + std::to_string(wait) + " s");
        refused.headers.emplace_back("Retry-After", std::to_string(wait));
        return refused;
    }
    std::string why;
    const json body = telvar::data::parse_json_text(r.body, "the body", why).value_or(json());
    if (!body.is_object() || !body.contains("token") || !body["token"].is_string())
        return error_reply(400, "the body must be {\"token\": \"...\"}");
    const auto grants = role_of(body["token"].get<std::string>());
    if (!grants) {
        limit_.failed(r.peer);
        return error_reply(401, "unknown token");
    }
    const auto [id, s] = sessions_.open(*grants);
    http::response ok = json_reply(session_json({s.grants, id, s.csrf}, s.ends));
    ok.headers.emplace_back("Set-Cookie", std::string(session_cookie) + "=" + id + "; HttpOnly; SameSite=Strict; Path=/; Max-Age=" +
                                              std::to_string(sessions_.life().count()) + (secure_ ? "; Secure" : ""));
    return ok;
}

std::vector<http::route> gate::routes() {
    return {
        {"POST", "/login", [this](const http::request& r) { return login(r); }},
        {"POST", "/logout", guard([this](const http::request&, const caller& c) {
             if (!c.session.empty()) sessions_.close(c.session);
             http::response done = json_reply({{"done", true}});
             done.headers.emplace_back("Set-Cookie", std::string(session_cookie) + "=; HttpOnly; SameSite=Strict; Path=/; Max-Age=0" +
                                                         (secure_ ? "; Secure" : ""));
             return done;
         })},
        {"GET", "/api/session", guard([this](const http::request&, const caller& c) {
             std::optional<clock::time_point> ends;
             if (!c.session.empty())
                 if (const auto s = sessions_.find(c.session)) ends = s->ends;
             return json_reply(session_json(c, ends));
         })},
    };
}

}  // namespace telvard::console
