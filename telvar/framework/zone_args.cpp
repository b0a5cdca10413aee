// Zone-type arguments (see zone_args.h).
#include "telvar/framework/zone_args.h"

#include <array>
#include <cctype>
#include <string_view>

#include "tv_api/command_support.h"

namespace telvar {

namespace {

constexpr std::array<std::string_view, 4> type_words{"hd", "ns", "bcst", "sl"};

}  // namespace

bool starts_with_digit(const char* text) {
    return text != nullptr && std::isdigit(static_cast<unsigned char>(text[0]));
}

zone_type_arg parse_zone_type(const char* text) {
    if (starts_with_digit(text)) {
        const int32_t n = tv::to_int(text);
        const bool known = n >= 1 && n <= static_cast<int32_t>(type_words.size());
        return {known ? zone_type_arg::kind::type : zone_type_arg::kind::bad_number, n};
    }
    for (std::size_t i = 0; text != nullptr && i < type_words.size(); ++i)
        if (type_words[i] == text) return {zone_type_arg::kind::type, static_cast<int32_t>(i + 1)};
    return {zone_type_arg::kind::unknown_word, 0};
}

}  // namespace telvar
