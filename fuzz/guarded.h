// A record followed by bytes that no reader may touch, for the harnesses of the readers that
// fill records: check() aborts when a reader wrote past the record.
#pragma once

#include <array>
#include <cstdint>
#include <cstdlib>
#include <cstring>

template <class T>
struct guarded {
    static constexpr std::uint8_t fill = 0xA5;
    T rec;
    std::array<std::uint8_t, 16> guard;
    // The record's own bytes, padding included, start as `rec_fill`.
    explicit guarded(std::uint8_t rec_fill = fill) {
        std::memset(&rec, rec_fill, sizeof rec);
        guard.fill(fill);
    }
    void check() const {
        for (auto b : guard)
            if (b != fill) std::abort();
    }
};
