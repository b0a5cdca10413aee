// The metric families of one scrape (the metrics are listed in exporter/README.md).
#pragma once

#include <cstdint>
#include <vector>

#include "exporter/metrics_text.h"
#include "exporter/scrape.h"

namespace exporter {

// `scrapes` is the number of reads of the switches so far, the one `r` comes from included.
std::vector<metric_family> families_of(const scrape_result& r, std::uint64_t scrapes);

}  // namespace exporter
