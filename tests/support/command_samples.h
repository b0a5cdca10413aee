// The sample command line of a command description as the tool's argument vector, for tests
// that run every command word: "{ip}" becomes the switch's address, and the files the samples
// name are written into a folder of the test's, so that each command gets past its files and
// talks to the switch.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tvtest {

// Writes the sample files (a defaults file, a raw message, a zoning document, two snapshots)
// into `dir`, which must exist.
void write_sample_files(const std::string& dir);

// The command word, -port 0 (a local port the system chooses, so that runs can go side by side),
// then the sample's words; file names of the samples point into `dir`.
std::vector<std::string> sample_line(std::string_view word, std::string_view sample,
                                     const std::string& ip, const std::string& dir);

}  // namespace tvtest
