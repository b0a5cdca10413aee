// A plain HTTP/1.0 GET over loopback, for the benchmarks of the exporter and the console.
#pragma once

#include <string>

namespace bench {

struct http_response {
    int status = 0;  // 0: no connection, or no whole answer within the limit
    std::string body;
};

// GET http://address:port/path (address a dotted IPv4 address), read to the end of the answer;
// `headers` are more header lines, each ending in "\r\n".
http_response http_get(const std::string& address, int port, const std::string& path, int limit_ms = 10000,
                       const std::string& headers = "");

}  // namespace bench
