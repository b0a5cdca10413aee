#include "support/command_samples.h"

#include <array>
#include <fstream>
#include <sstream>
#include <utility>

namespace tvtest {

namespace {

// The files that the samples of the command table name, with contents each command accepts.
const std::array<std::pair<std::string_view, std::string_view>, 5> sample_files{{
    {"switch-defaults.txt", "part_number 16-port-edge\nED_TOV 2000\n"},
    // A version request, one hexadecimal word a line.
    {"request.txt", "11000000\n00fffffd\n00070004\n\n00000001\n"},
    {"zones.json", R"({"hard": [{"id": 1, "enabled": true, "ports": [1, 2]}]})"},
    {"a.json", R"({"format": "telvar-snapshot", "switches": []})"},
    {"b.json", R"({"format": "telvar-snapshot", "switches": []})"},
}};

}  // namespace

void write_sample_files(const std::string& dir) {
    for (const auto& [name, text] : sample_files) std::ofstream(dir + "/" + std::string(name)) << text;
}

std::vector<std::string> sample_line(std::string_view word, std::string_view sample,
                                     const std::string& ip, const std::string& dir) {
    std::vector<std::string> line{std::string(word), "-port", "0"};
    std::istringstream in{std::string(sample)};
    for (std::string w; in >> w;) {
        if (w == "{ip}") {
            w = ip;
        } else {
            for (const auto& f : sample_files)
                if (w == f.first) w = dir + "/" + w;
        }
        line.push_back(std::move(w));
    }
    return line;
}

}  // namespace tvtest
