// A folder of a test's own under the system's temporary folder, removed with everything in it
// when the test ends; and files written into it.
#pragma once

#include <stdlib.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>

namespace tvtest {

class temp_folder {
public:
    temp_folder() {
        std::string pattern = (std::filesystem::temp_directory_path() / "telvar-test-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("cannot make " + pattern);
        path_ = pattern;
    }
    ~temp_folder() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    temp_folder(const temp_folder&) = delete;
    temp_folder& operator=(const temp_folder&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::string path(const std::string& name) const { return (path_ / name).string(); }
    // Writes `text` to `name` with `mode`; its path.
    std::string file(const std::string& name, const std::string& text, mode_t mode = 0600) const {
        const std::string p = path(name);
        std::ofstream(p, std::ios::binary | std::ios::trunc) << text;
        ::chmod(p.c_str(), mode);
        return p;
    }

private:
    std::filesystem::path path_;
};

// The whole of a file, byte for byte (empty when it cannot be read).
inline std::string read_file(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

}  // namespace tvtest
