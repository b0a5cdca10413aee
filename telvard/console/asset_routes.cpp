// GET / and GET /assets/NAME: the console's pages, built into the program. They hold no fabric
// data, so they need no login (the login page is one of them).
#include "telvard/console/assets.h"
#include "telvard/console/replies.h"
#include "telvard/console/routes.h"

namespace telvard::console {

std::string_view content_type(std::string_view name) {
    static constexpr std::pair<std::string_view, std::string_view> types[] = {
        {".html", "text/html; charset=utf-8"}, {".css", "text/css; charset=utf-8"},
        {".js", "text/javascript; charset=utf-8"}, {".svg", "image/svg+xml"},
        {".png", "image/png"}, {".ico", "image/x-icon"}, {".json", "application/json"},
        {".txt", "text/plain; charset=utf-8"}};
    for (const auto& [ending, type] : types)
        if (name.ends_with(ending)) return type;
    return "application/octet-stream";
}

std::vector<http::route> asset_routes() {
    std::vector<http::route> routes;
    for (const asset& a : assets()) {
        http::response r{200, {{"Content-Type", std::string(content_type(a.name))}}, std::string(a.bytes)};
        // A picture among the pages is served as the API's pictures are: nothing in it may run.
        if (a.name.ends_with(".svg")) r.headers.emplace_back("Content-Security-Policy", picture_policy);
        const auto serve = [r](const http::request&) { return r; };
        routes.push_back({"GET", "/assets/" + std::string(a.name), serve});
        if (a.name == "index.html") routes.push_back({"GET", "/", serve});
    }
    return routes;
}

}  // namespace telvard::console
