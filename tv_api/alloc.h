// The library's allocations from the C heap: the arrays and records it hands to callers (who
// release them with free or a tv_free_... call) and the few it needs to finish an operation.
// They all go through here so that a test can make the k-th of them fail and check that every
// operation then returns its defined status and leaks nothing.
#pragma once

#include <cstddef>

namespace tv {

void* alloc_zeroed(std::size_t count, std::size_t size);  // calloc
void* alloc_bytes(std::size_t size);                      // malloc
void* regrow(void* p, std::size_t size);                  // realloc
char* copy_text(const char* text);                        // strdup

// For tests: from now on, the k-th allocation (k >= 1) and every one after it fail; 0 lets
// them all succeed again. Returns how many allocations were asked for since the last call.
long fail_allocations_from(long k);

}  // namespace tv
