// The watcher's readings (see readings.h).
#include "telvard/readings.h"

#include <algorithm>
#include <chrono>

#include "history/fabric_items.h"
#include "telvard/fabric_reading.h"

namespace telvard {

telvar::history::time_ms now_ms() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::system_clock::now().time_since_epoch())
        .count();
}

reading_outcome take_reading(telvar::history::store& store, const std::string& fabric,
                             const telvar::credentials::entry* login) {
    reading_outcome out;
    out.snapshot = read_fabric(fabric, login);
    const std::vector<telvar::history::item> last = store.items(fabric);
    const telvar::history::reading r = telvar::history::changes_since(last, out.snapshot, fabric, now_ms());
    // A fabric never reached has no first reading yet: nothing is known to record.
    const bool identified = std::any_of(r.changes.begin(), r.changes.end(), [](const auto& c) { return c.kind == "switch"; });
    if (!last.empty() || identified) store.record(r);
    out.changes = r.changes.size();
    for (const auto& c : r.changes) out.shown += c.shown ? 1 : 0;
    const auto ok = [](const nlohmann::json& status) { return status.is_object() && status.value("code", -1) == 0; };
    out.whole = out.snapshot.contains("name_server") && ok(out.snapshot["name_server"].value("status", nlohmann::json()));
    if (out.snapshot.contains("switches"))
        for (const auto& sw : out.snapshot["switches"]) out.whole = out.whole && ok(sw.value("status", nlohmann::json()));
    return out;
}

}  // namespace telvard
