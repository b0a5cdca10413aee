// The shared option loop of the command functions (see option_loop.h).
#include "telvar/framework/option_loop.h"

#include <algorithm>

#include "telvar/framework/output.h"
#include "telvar/telvar.h"

namespace telvar {

namespace {

bool is_option(const char* element) { return element != nullptr && element[0] == '-'; }

const option_def* find_own(std::span<const option_def> own, char letter) {
    const auto it = std::ranges::find(own, letter, &option_def::letter);
    return it == own.end() ? nullptr : &*it;
}

[[noreturn]] void unknown_option(char letter) {
    // A lone "-" has no letter; printing the NUL would put an invisible byte in the message.
    if (letter == '\0')
        print("Unknown option -\n");
    else
        print("Unknown option -%c\n", letter);
    usage();
}

}  // namespace

const char* take_value(int32_t& argc, char**& argv) {
    if (--argc < 1) usage();
    ++argv;
    return argv[0];
}

void parse_options(int32_t& argc, char**& argv, std::span<const option_def> own,
                   const option_handler& on_option) {
    if (argc > 0) {
        ++argv;
        --argc;
    }
    while (argc > 0 && is_option(argv[0])) {
        const char letter = argv[0][1];
        if (const option_def* def = letter != '\0' ? find_own(own, letter) : nullptr) {
            const char* value = def->takes_value ? take_value(argc, argv) : nullptr;
            if (on_option) on_option(letter, value);
        } else if (check_global_switches(&argc, &argv) == 0) {
            unknown_option(letter);
        }
        ++argv;
        --argc;
    }
}

}  // namespace telvar
