// What a route of the HTTP server (http_server/server.h) is given and gives back: plain data,
// with no trace of the library underneath, so that handlers can be tested by calling them.
#pragma once

#include <chrono>
#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace http {

struct request {
    std::string method;  // as sent: "GET", "POST", ...; a HEAD reaches the GET route
    std::string path;    // decoded, without the query
    std::vector<std::pair<std::string, std::string>> query;  // decoded, in order
    std::map<std::string, std::string> headers;  // names in lower case; repeats joined by ", "
    std::string body;
    std::string peer;  // the client's address, dotted IPv4 ("" when unknown)
    // When the whole request had arrived: a handler that answers within a time counts from here,
    // since a request may wait for a free handler thread.
    std::chrono::steady_clock::time_point received;
};

struct response {
    unsigned status = 200;
    std::vector<std::pair<std::string, std::string>> headers;
    std::string body;
};

using handler = std::function<response(const request&)>;

struct route {
    std::string method;  // "GET" also serves HEAD
    std::string path;    // matched whole
    handler run;
};

}  // namespace http
