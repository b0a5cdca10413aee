// Metric families as plain data, and their text for Prometheus (the text exposition format,
// version 0.0.4): what /metrics sends.
#pragma once

#include <string>
#include <vector>

namespace exporter {

enum class metric_type { counter, gauge };

struct metric_label {
    std::string name, value;
};

struct metric_sample {
    std::vector<metric_label> labels;
    double value = 0;
};

struct metric_family {
    std::string name;
    std::string help;
    metric_type type = metric_type::gauge;
    std::vector<metric_sample> samples;
};

inline constexpr const char* metrics_content_type = "text/plain; version=0.0.4; charset=utf-8";

// "# HELP" and "# TYPE" lines, then one line per sample; label values and help escaped, values
// in the shortest form that reads back as the same double (NaN and infinities by name).
std::string exposition_text(const std::vector<metric_family>& families);

}  // namespace exporter
