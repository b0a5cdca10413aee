// Text kept deflated until it is wanted: what a visit of a side-by-side walk writes before its
// turn. A switch's record in a fabric of ten thousand devices is some 100 kilobytes of JSON
// that repeats itself (the devices of a loop differ in a few digits), and a dozen of them may
// wait at once; deflated, each takes about a fifth.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

struct z_stream_s;  // zlib's, which only the source file includes

namespace telvar {

class deflated_text {
public:
    deflated_text();
    ~deflated_text();
    deflated_text(deflated_text&&) noexcept;
    deflated_text& operator=(deflated_text&&) noexcept;

    void append(std::string_view text);
    // Gives `sink` the whole text appended, in pieces, and lets go of it; nothing may be
    // appended afterwards.
    void drain(const std::function<void(std::string_view)>& sink);

private:
    void deflate_into(int flush);

    struct stream_end {
        void operator()(z_stream_s* s) const;
    };
    // Held apart: zlib's state points back at it. Empty once drained.
    std::unique_ptr<z_stream_s, stream_end> stream_;
    // The deflated bytes, in blocks of a fixed size rather than one string that doubles.
    std::vector<std::string> blocks_;
};

}  // namespace telvar
