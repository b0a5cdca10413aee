// The exporter's collector: every request for /metrics runs one scrape (scrape.h) and turns
// what it read into metric families (docs in exporter/README.md).
//
// The HTTP server calls Collect from its worker threads; the library is single-threaded, so
// scrapes run one at a time behind one mutex. The collector remembers, for each target, the
// switches it has seen: one that is neither read nor met through the links later is still
// listed, with telvar_up 0, so that a switch dropping out of sight raises an alert instead of
// quietly leaving the metrics.
#pragma once

#include <prometheus/collectable.h>
#include <prometheus/metric_family.h>

#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "exporter/scrape.h"

namespace exporter {

class collector : public prometheus::Collectable {
public:
    collector(std::vector<std::string> targets, scrape_options options);

    std::vector<prometheus::MetricFamily> Collect() const override;

private:
    // Adds the remembered switches that this scrape did not list, and remembers what it did.
    void reconcile(scrape_result& r) const;

    const std::vector<std::string> targets_;
    const scrape_options options_;
    mutable std::mutex mutex_;
    // Guarded by mutex_:
    mutable std::map<std::string, std::map<std::uint32_t, std::string>> known_;  // target: FC address, WWN
    mutable std::map<std::string, std::uint32_t> target_switch_;  // the FC address of each target's switch
    mutable std::uint64_t scrapes_ = 0;
};

// The metric families of one scrape; `scrapes` is the number of scrapes so far, this one included.
std::vector<prometheus::MetricFamily> families_of(const scrape_result& r, std::uint64_t scrapes);

}  // namespace exporter
