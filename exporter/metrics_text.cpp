#include "exporter/metrics_text.h"

#include <array>
#include <charconv>
#include <cmath>

namespace exporter {

namespace {

// Help text escapes backslash and newline; label values also the double quote.
void append_escaped(std::string& out, const std::string& text, bool quote) {
    for (const char c : text) {
        if (c == '\\')
            out += "\\\\";
        else if (c == '\n')
            out += "\\n";
        else if (quote && c == '"')
            out += "\\\"";
        else
            out += c;
    }
}

void append_value(std::string& out, double v) {
    if (std::isnan(v)) {
        out += "NaN";
    } else if (std::isinf(v)) {
        out += v < 0 ? "-Inf" : "+Inf";
    } else {
        std::array<char, 32> buf{};
        const auto r = std::to_chars(buf.data(), buf.data() + buf.size(), v);
        out.append(buf.data(), r.ptr);
    }
}

}  // namespace

std::string exposition_text(const std::vector<metric_family>& families) {
    std::string out;
    for (const metric_family& f : families) {
        out += "# HELP " + f.name + " ";
        append_escaped(out, f.help, false);
        out += "\n# TYPE " + f.name + (f.type == metric_type::counter ? " counter\n" : " gauge\n");
        for (const metric_sample& s : f.samples) {
            out += f.name;
            if (!s.labels.empty()) {
                out += '{';
                for (std::size_t i = 0; i < s.labels.size(); ++i) {
                    if (i > 0) out += ',';
                    out += s.labels[i].name + "=\"";
                    append_escaped(out, s.labels[i].value, true);
                    out += '"';
                }
                out += '}';
            }
            out += ' ';
            append_value(out, s.value);
            out += '\n';
        }
    }
    return out;
}

}  // namespace exporter
