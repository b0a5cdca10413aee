#include "served_fabric.h"

#include <arpa/inet.h>

#include <cstdio>
#include <string>

#include "switchsim/core/fabric_file.h"

namespace bench {

std::unique_ptr<sim::server> serve_generated(const sim::generate_shape& shape, const char* address) {
    std::string why;
    auto f = sim::parse_fabric(sim::generated_fabric_json(shape), why);
    if (!f) {
        std::fprintf(stderr, "generated fabric: %s\n", why.c_str());
        return nullptr;
    }
    sim::move_addresses(*f, inet_addr(address));
    auto srv = std::make_unique<sim::server>(std::move(*f));
    if (!srv->bind(why)) {
        std::fprintf(stderr, "simulator: %s\n", why.c_str());
        return nullptr;
    }
    srv->start();
    return srv;
}

}  // namespace bench
