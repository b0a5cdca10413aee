// What the console asks the switches themselves: a switch's port table while its page is open,
// and the zoning's preview and apply. Each takes the library's lock, which the watcher's
// readings take too: the port table waits for it only briefly and otherwise answers from the
// last reading ("as of" its time); the zoning waits for its turn.
#include "history/time_text.h"
#include "telvar/data/data_cmds.h"
#include "telvar/data/fabric_queries.h"
#include "telvar/data/fabric_snapshot.h"
#include "telvard/fabric_reading.h"
#include "telvard/console/replies.h"
#include "telvard/console/routes.h"
#include "tv_api/command_support.h"

namespace telvard::console {

namespace J = telvar::json;

namespace {

// The zoning waits this long for a reading under way; a fabric read slower than this is sick.
constexpr std::chrono::seconds zoning_wait{60};

// A context on the switch `sw` of `fabric`, logged in as the credentials say; call it with the
// library's lock held.
tv::owned_context<&tv_close> open_switch(const live_access& live, const std::string& fabric, const json& sw) {
    tv::owned_context<&tv_close> ctx = open_fabric(fabric, live.logins != nullptr ? live.logins->find(fabric) : nullptr);
    if (!ctx) return ctx;
    tv_set_dest_addr(ctx.get(), J::parse_fc_address(sw.value("fc_address", "")).value_or(0));
    return ctx;
}

// The fabric's last view and the switch the request names in it.
struct located {
    std::shared_ptr<const fabric_view> view;
    const json* sw = nullptr;
};
std::variant<located, http::response> locate_switch(const sources& s, const http::request& r) {
    auto found = view_of(s, r);
    if (auto* refused = std::get_if<http::response>(&found)) return std::move(*refused);
    auto view = std::get<std::shared_ptr<const fabric_view>>(found);
    auto sw_found = switch_of(*view->doc, r);
    if (auto* refused = std::get_if<http::response>(&sw_found)) return std::move(*refused);
    return located{std::move(view), std::get<const json*>(sw_found)};
}

http::response port_table(const sources& s, const http::request& r) {
    auto found = locate_switch(s, r);
    if (auto* refused = std::get_if<http::response>(&found)) return std::move(*refused);
    const auto& [view, sw_at] = std::get<located>(found);
    const json& sw = *sw_at;
    json out = {{"fabric", view->fabric}, {"chassis", sw.value("chassis", -1)}};
    const auto last_reading = [&](const std::string& why) {
        out["live"] = false;
        out["as_of"] = telvar::history::time_text(view->at);
        out["ports"] = sw.value("ports", json::array());
        if (!why.empty()) out["error"] = why;
        return json_reply(out);
    };
    std::unique_lock<std::timed_mutex> lock(s.live.library, s.live.wait);
    if (!lock.owns_lock()) return last_reading("");
    const auto ctx = open_switch(s.live, view->fabric, sw);
    if (!ctx) return last_reading("no context could be opened");
    json ports;
    const int32_t code = telvar::snapshot::read_port_table(ctx.get(), ports);
    const auto read_at = telvar::history::now_ms();
    lock.unlock();
    if (code != TV_OK) return last_reading("the switch did not answer: " + J::status(code)["message"].get<std::string>());
    out["live"] = true;
    out["as_of"] = telvar::history::time_text(read_at);
    out["ports"] = std::move(ports);
    return json_reply(out);
}

// Preview (dry run) and apply: the document checked, the plan made against the switch and,
// for apply, carried out and the fabric read again so that the history records the change.
http::response zoning(const sources& s, const http::request& r, bool apply) {
    auto found = locate_switch(s, r);
    if (auto* refused = std::get_if<http::response>(&found)) return std::move(*refused);
    const auto& [view, sw_at] = std::get<located>(found);
    const json& sw = *sw_at;
    // Bounded in depth as the tool bounds the files it reads.
    std::string why;
    auto parsed = telvar::data::parse_json_text(r.body, "the body", why);
    if (!parsed) return error_reply(400, why);
    json body = std::move(*parsed);
    if (!body.is_object()) return error_reply(400, "the body must be a JSON object");
    bool save = false;
    if (apply) {
        if (!body.contains("confirm") || body["confirm"] != true)
            return error_reply(400, "applying needs \"confirm\": true beside the \"zoning\"");
        if (!body.contains("zoning") || !body["zoning"].is_object()) return error_reply(400, "\"zoning\" must be the zoning document");
        if (body.contains("save") && !body["save"].is_boolean()) return error_reply(400, "\"save\" is true or false");
        save = body.value("save", false);
        json zoning_doc = std::move(body["zoning"]);
        body = std::move(zoning_doc);
    }
    std::optional<json> outcome;
    {
        std::unique_lock<std::timed_mutex> lock(s.live.library, zoning_wait);
        if (!lock.owns_lock()) return error_reply(503, "the fabric is being read: try again");
        const auto ctx = open_switch(s.live, view->fabric, sw);
        if (!ctx) return error_reply(503, "no context could be opened");
        outcome = telvar::data::apply_zoning(ctx.get(), body, !apply, save, why);
    }
    if (!outcome) return error_reply(why.starts_with("the zoning document") ? 400 : 503, why);
    if (apply) (*outcome)["recorded"] = (*outcome)["changed"] == true && s.live.read_now && s.live.read_now(view->fabric);
    return json_reply(*outcome);
}

}  // namespace

std::vector<http::route> live_routes(gate& g, const sources& s) {
    return {
        {"GET", "/api/switch/ports", g.guard([&s](const http::request& r, const caller&) { return port_table(s, r); })},
        {"POST", "/api/zoning/preview", g.guard([&s](const http::request& r, const caller&) { return zoning(s, r, false); })},
        {"POST", "/api/zoning/apply", g.guard([&s](const http::request& r, const caller&) { return zoning(s, r, true); }, true)},
    };
}

}  // namespace telvard::console
