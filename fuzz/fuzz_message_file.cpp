// The raw message file reader: any file content reads into the 512-byte message without
// writing past it, and never more than 127 words.
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "tv_api/raw_message.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::FILE* f = fmemopen(const_cast<std::uint8_t*>(data), size, "r");
    if (size == 0 || f == nullptr) return 0;
    std::array<std::uint8_t, 512> msg{};
    const int words = tv::read_message_words(f, msg);
    std::fclose(f);
    if (words > 127) std::abort();
    return 0;
}
