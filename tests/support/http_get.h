// A plain HTTP/1.0 GET over loopback, for the tests of the programs that serve HTTP.
#pragma once

#include <string>

namespace tvtest {

struct http_response {
    int status = 0;  // 0: no connection, or no whole answer within the limit
    std::string body;
};

// GET http://address:port/path (address a dotted IPv4 address), read to the end of the answer.
http_response http_get(const std::string& address, int port, const std::string& path, int limit_ms = 10000);

// `text` with every byte but letters, digits and -_.~ percent-encoded, for a URL's query.
std::string url_encoded(const std::string& text);

}  // namespace tvtest
