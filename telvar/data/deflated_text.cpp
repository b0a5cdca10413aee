#include "telvar/data/deflated_text.h"

#include <zlib.h>

#include <array>
#include <new>
#include <stdexcept>

namespace telvar {

namespace {

// Raw deflate with the smallest window and hash table zlib allows: some 10 kilobytes of state a
// text, and the repeats of a record's JSON are a few hundred bytes apart.
constexpr int window_bits = -9;
constexpr int mem_level = 1;
constexpr std::size_t block_size = 4 << 10;

}  // namespace

void deflated_text::stream_end::operator()(z_stream_s* s) const {
    deflateEnd(s);
    delete s;
}

deflated_text::deflated_text() {
    auto s = std::make_unique<z_stream>();
    if (deflateInit2(s.get(), Z_BEST_SPEED, Z_DEFLATED, window_bits, mem_level, Z_DEFAULT_STRATEGY) != Z_OK)
        throw std::bad_alloc();
    stream_.reset(s.release());
}

deflated_text::~deflated_text() = default;
deflated_text::deflated_text(deflated_text&&) noexcept = default;
deflated_text& deflated_text::operator=(deflated_text&&) noexcept = default;

void deflated_text::deflate_into(int flush) {
    for (;;) {
        if (blocks_.empty() || blocks_.back().size() == block_size) {
            blocks_.emplace_back();
            blocks_.back().reserve(block_size);
        }
        std::string& last = blocks_.back();
        const std::size_t had = last.size();
        last.resize(block_size);
        stream_->next_out = reinterpret_cast<Bytef*>(last.data() + had);
        stream_->avail_out = static_cast<uInt>(block_size - had);
        const int code = deflate(stream_.get(), flush);
        last.resize(block_size - stream_->avail_out);
        if (code == Z_STREAM_END) return;
        if (code != Z_OK && code != Z_BUF_ERROR) throw std::runtime_error("kept text could not be deflated");
        // Done when the input is taken and deflate left room: it has nothing more to give.
        if (flush == Z_NO_FLUSH && stream_->avail_in == 0 && stream_->avail_out != 0) return;
    }
}

void deflated_text::append(std::string_view text) {
    // zlib counts input in uInt; a record never comes near that, but a view could.
    while (!text.empty()) {
        const std::size_t n = std::min<std::size_t>(text.size(), 1u << 30);
        stream_->next_in = reinterpret_cast<Bytef*>(const_cast<char*>(text.data()));
        stream_->avail_in = static_cast<uInt>(n);
        deflate_into(Z_NO_FLUSH);
        text.remove_prefix(n);
    }
}

void deflated_text::drain(const std::function<void(std::string_view)>& sink) {
    stream_->next_in = nullptr;
    stream_->avail_in = 0;
    deflate_into(Z_FINISH);
    stream_.reset();

    z_stream in{};
    if (inflateInit2(&in, window_bits) != Z_OK) throw std::bad_alloc();
    std::array<char, 16 << 10> out;
    int code = Z_OK;
    for (std::string& block : blocks_) {
        in.next_in = reinterpret_cast<Bytef*>(block.data());
        in.avail_in = static_cast<uInt>(block.size());
        do {
            in.next_out = reinterpret_cast<Bytef*>(out.data());
            in.avail_out = static_cast<uInt>(out.size());
            code = inflate(&in, Z_NO_FLUSH);
            const std::size_t got = out.size() - in.avail_out;
            if (got != 0) sink({out.data(), got});
        } while (code == Z_OK && (in.avail_in != 0 || in.avail_out == 0));
        block = {};  // what was given is let go as it goes
        if (code != Z_OK && code != Z_STREAM_END && code != Z_BUF_ERROR) break;
    }
    inflateEnd(&in);
    blocks_ = {};
    // What this process deflated itself inflates whole; anything else is memory gone bad.
    if (code == Z_MEM_ERROR) throw std::bad_alloc();
    if (code != Z_STREAM_END) throw std::runtime_error("kept text did not read back whole");
}

}  // namespace telvar
