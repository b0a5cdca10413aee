// zone_apply's reader of zoning documents on any text: nothing it reads makes it throw, a refusal
// always says why, and an accepted document plans steps that each have a line to print.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "telvar/data/data_cmds.h"
#include "telvar/telvar.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    namespace D = telvar::data;
    Max_Ports = 16;  // as after opening a 16-port switch: port numbers are held against it
    std::string why;
    const auto doc = D::parse_json_text(std::string(reinterpret_cast<const char*>(data), size), "input", why);
    if (!doc) {
        if (why.empty()) std::abort();
        return 0;
    }
    std::vector<std::string> plan;
    if (!D::check_zoning_document(*doc, why, plan)) {
        if (why.empty()) std::abort();
        return 0;
    }
    for (const std::string& line : plan)
        if (line.empty()) std::abort();
    return 0;
}
