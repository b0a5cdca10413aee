#include "tv_api/alloc.h"

#include <cstdlib>
#include <cstring>

namespace tv {

namespace {

long asked = 0;
long fail_from = 0;  // 0: never

// Counts the allocation and says whether it must fail.
bool refused() { return ++asked >= fail_from && fail_from > 0; }

}  // namespace

void* alloc_zeroed(std::size_t count, std::size_t size) {
    return refused() ? nullptr : std::calloc(count, size);
}

void* alloc_bytes(std::size_t size) { return refused() ? nullptr : std::malloc(size); }

void* regrow(void* p, std::size_t size) { return refused() ? nullptr : std::realloc(p, size); }

char* copy_text(const char* text) { return refused() ? nullptr : strdup(text); }

long fail_allocations_from(long k) {
    const long n = asked;
    asked = 0;
    fail_from = k;
    return n;
}

}  // namespace tv
