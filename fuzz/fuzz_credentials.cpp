// The credentials file's parser on any text. Every entry it takes must be one a login can use
// as it stands: three fields without blanks or control characters, a user id and a password of
// 1 to 8 characters, an address that find() matches; a refused text leaves no entries and says
// on which line. Anything else aborts.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "telvar/cli/credentials.h"

namespace {

namespace C = telvar::credentials;

bool clean(const std::string& field) {
    if (field.empty()) return false;
    for (const char ch : field)
        if (static_cast<unsigned char>(ch) <= ' ' || ch == 0x7f) return false;
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    C::file f;
    std::string error;
    if (!C::parse(text, f, error)) {
        if (!f.entries.empty() || !error.starts_with("line ")) std::abort();
        return 0;
    }
    for (const C::entry& e : f.entries) {
        if (!clean(e.address) || !clean(e.user) || !clean(e.password)) std::abort();
        if (e.user.size() > C::max_field_chars || e.password.size() > C::max_field_chars) std::abort();
        if (e.line < 1 || f.find(e.address) == nullptr) std::abort();
    }
    return 0;
}
