// One reading of a fabric (see fabric_reading.h).
#include "telvard/fabric_reading.h"

#include <sys/random.h>

#include "telvar/data/fabric_snapshot.h"
#include "telvar/data/fabric_walk.h"
#include "tv_api/command_support.h"
#include "tv_api/lanes.h"

namespace telvard {

namespace S = telvar::snapshot::section;

void set_up_library(std::FILE* log) {
    tv_api_open(log);
    tv_set_strict_answers(1);
    // Switches that take a millisecond an answer are read side by side.
    tv::set_lanes_mode_from_environment();
    // Sequence numbers that another program on this host is unlikely to be using, so that
    // their late answers never look like ours.
    uint32_t seed = 0;
    if (getrandom(&seed, sizeof seed, GRND_NONBLOCK) == sizeof seed) msg_seq_num = seed;
    Discover = 0;
}

tv::owned_context<&tv_close> open_fabric(const std::string& address, const telvar::credentials::entry* login) {
    tv::owned_context<&tv_close> ctx{tv_open(address.c_str())};
    if (ctx && login != nullptr) telvar::fabric::use_login(ctx.get(), login->user.c_str(), login->password.c_str());
    return ctx;
}

nlohmann::json read_fabric(const std::string& address, const telvar::credentials::entry* login) {
    const tv::owned_context<&tv_close> ctx = open_fabric(address, login);
    if (!ctx) return nlohmann::json::object();
    nlohmann::json doc = telvar::snapshot::take(ctx.get(), address, S::all & ~S::counters);
    // A switch's record fails when a neighbour does not give its identity for the links; one
    // that answers on its own is marked partial, so that the history does not take it for
    // silent.
    if (!doc.contains("switches")) return doc;
    for (nlohmann::json& sw : doc["switches"]) {
        if (!sw.contains("identity") || sw.value("status", nlohmann::json::object()).value("code", 0) == 0) continue;
        const std::string fc = sw.value("fc_address", "");
        tv_version_info v{};
        tv_set_dest_addr(ctx.get(), static_cast<std::uint32_t>(std::stoul(fc.empty() ? "0" : fc, nullptr, 16)));
        if (!fc.empty() && tv_get_version(ctx.get(), &v) == TV_OK) sw["partial"] = true;
    }
    return doc;
}

}  // namespace telvard
