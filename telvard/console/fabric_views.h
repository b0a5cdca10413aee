// What the console shows of each fabric without a call into the library: the last reading's
// snapshot document, handed over by the watcher after each reading, with its pictures drawn
// once then (the map through Graphviz, a panel per switch) so that a page asks for nothing
// slow. The handler threads take a reading's view under a lock and keep it as long as they
// need it; the watcher swaps in the next without waiting for them.
#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "history/rows.h"

namespace telvard::console {

using json = nlohmann::json;

struct fabric_view {
    std::string fabric;
    telvar::history::time_ms at = 0;  // when the reading ended
    std::shared_ptr<const json> doc;  // the snapshot document
    std::string map_svg;              // empty, with map_error, when it could not be drawn
    std::string map_error;
    std::map<int, std::string> panels;  // by chassis
    json summary;                       // GET /api/fabric's document
};

class fabric_views {
public:
    explicit fabric_views(std::vector<std::string> fabrics) : fabrics_(std::move(fabrics)) {}

    const std::vector<std::string>& fabrics() const { return fabrics_; }
    bool watched(const std::string& fabric) const;

    // Draws the reading's pictures (on the caller's thread), then makes it the fabric's view.
    void publish(const std::string& fabric, json doc, telvar::history::time_ms at);
    // The fabric's last view; null before its first reading.
    std::shared_ptr<const fabric_view> find(const std::string& fabric) const;

private:
    std::vector<std::string> fabrics_;
    mutable std::mutex mutex_;
    std::map<std::string, std::shared_ptr<const fabric_view>> views_;
};

// The view of a reading (what publish stores), drawn from its document.
fabric_view make_view(const std::string& fabric, json doc, telvar::history::time_ms at);

}  // namespace telvard::console
