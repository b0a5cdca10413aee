// Printing a status code for a person. The C library's error number wins when it names a
// system error: the operations that fail on a file leave it set and the status code then says
// less. A stale error number from an unrelated call wins too, which is why the library keeps
// errno untouched wherever it recovers from a failure itself.
#include <cerrno>
#include <cstring>
#include <string>

#include "telvar/framework/output.h"
#include "telvar/telvar.h"

namespace {

// glibc no longer exports the size of its message table; a number it has a name for is one of
// its known system errors.
bool is_system_error(int number) { return number > 0 && strerrorname_np(number) != nullptr; }

}  // namespace

namespace telvar {

std::string status_message(int32_t code) {
    const char* text = tv_status_text(code);
    std::string message = text != nullptr ? text : "Unrecognized error (" + std::to_string(code) + ")";
    if (!message.empty() && message.back() == '\n') message.pop_back();
    return message;
}

}  // namespace telvar

extern "C" void print_error(int32_t code) {
    const int number = errno;
    telvar::print("Error: ");
    if (is_system_error(number)) {
        telvar::print("%s\n", std::strerror(number));
        return;
    }
    if (const char* text = tv_status_text(code))
        telvar::print("%s", text);
    else
        telvar::print("Unrecognized error (%d)\n", code);
}
