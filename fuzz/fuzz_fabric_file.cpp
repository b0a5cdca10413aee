// The fabric-file reader on any text: it either refuses the text with a message that names a
// field, or gives a sound fabric.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "switchsim/core/fabric_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string why;
    const auto f = sim::parse_fabric(std::string(reinterpret_cast<const char*>(data), size), why);
    if (!f) {
        if (why.empty()) std::abort();
        return 0;
    }
    if (!sim::check_fabric(*f).empty()) std::abort();
    for (const auto& s : f->switches)
        if (s.ports.empty() || s.ports.size() > sim::max_ports ||
            s.get<sim::port_state>().active.size() != s.ports.size())
            std::abort();
    return 0;
}
