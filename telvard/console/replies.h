// The console's answers: JSON, errors as JSON, SVG, and the headers every answer carries.
#pragma once

#include <nlohmann/json.hpp>
#include <string>
#include <utility>
#include <vector>

#include "http_server/message.h"

namespace telvard::console {

using json = nlohmann::json;

// The pages' policy: their own scripts and styles only, no frames, no plugins.
inline constexpr const char* page_policy =
    "default-src 'self'; img-src 'self' data:; style-src 'self'; script-src 'self'; object-src 'none'; "
    "frame-ancestors 'none'; base-uri 'none'";
// A picture's: it draws texts from switches, so nothing in it may ever run, even opened alone.
inline constexpr const char* picture_policy =
    "default-src 'none'; style-src 'unsafe-inline'; img-src data:; script-src 'none'; object-src 'none'; "
    "frame-ancestors 'self'; base-uri 'none'";

// The headers of every answer (an answer's own Content-Security-Policy wins over the page's).
std::vector<std::pair<std::string, std::string>> common_headers();

http::response json_reply(const json& body, unsigned status = 200);
http::response error_reply(unsigned status, const std::string& what);
http::response svg_reply(std::string svg);

// The value of query parameter `name` ("" when absent).
std::string parameter(const http::request& r, std::string_view name);

}  // namespace telvard::console
