// The console's pages: the files of telvard/console/assets/, built into the program
// (cmake/embed_assets.cmake), so that an installed telvard needs no data folder.
#pragma once

#include <string_view>
#include <vector>

namespace telvard::console {

struct asset {
    std::string_view name;  // the file's name: "index.html", "console.js"
    std::string_view bytes;
};

const std::vector<asset>& assets();

// The Content-Type of a file by its extension ("application/octet-stream" when unknown).
std::string_view content_type(std::string_view name);

}  // namespace telvard::console
