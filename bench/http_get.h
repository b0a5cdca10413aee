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

// A client that connects and sends the first bytes of a request, `half`, and never the rest: it
// holds its connection until destroyed, as a slow or hostile client does.
class half_request {
public:
    half_request(const char* address, int port, const std::string& half);
    ~half_request();
    half_request(const half_request&) = delete;
    half_request& operator=(const half_request&) = delete;

private:
    int fd_;
};

}  // namespace bench
