// The console's answers (see replies.h).
#include "telvard/console/replies.h"

namespace telvard::console {

std::vector<std::pair<std::string, std::string>> common_headers() {
    return {{"Content-Security-Policy", page_policy},
            {"X-Content-Type-Options", "nosniff"},
            {"Referrer-Policy", "no-referrer"},
            {"Cache-Control", "no-store"}};
}

http::response json_reply(const json& body, unsigned status) {
    // Texts from switches are not always UTF-8: an invalid byte is replaced, never a failure.
    return {status, {{"Content-Type", "application/json"}}, body.dump(-1, ' ', false, json::error_handler_t::replace)};
}

http::response error_reply(unsigned status, const std::string& what) { return json_reply({{"error", what}}, status); }

http::response svg_reply(std::string svg) {
    return {200, {{"Content-Type", "image/svg+xml"}, {"Content-Security-Policy", picture_policy}}, std::move(svg)};
}

std::string parameter(const http::request& r, std::string_view name) {
    for (const auto& [k, v] : r.query)
        if (k == name) return v;
    return "";
}

}  // namespace telvard::console
