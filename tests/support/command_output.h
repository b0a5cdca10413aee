// Helpers for tests of the command layer: capturing what it prints on `fp`, and building an
// argument vector as the tool's dispatcher hands it to a command function.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <initializer_list>
#include <string>
#include <vector>

#include "telvar/telvar.h"

namespace tvtest {

// Points `fp` at a memory stream for its lifetime and gives back everything printed.
class captured_output {
public:
    captured_output() : stream_(open_memstream(&buf_, &len_)) { fp = stream_; }
    ~captured_output() {
        fp = before_;
        std::fclose(stream_);
        std::free(buf_);
    }
    captured_output(const captured_output&) = delete;
    captured_output& operator=(const captured_output&) = delete;

    // Everything printed so far; clears it for the next check.
    std::string take() {
        std::fflush(stream_);
        std::string text(buf_, len_);
        std::rewind(stream_);
        std::fflush(stream_);
        return text;
    }

private:
    std::FILE* before_ = fp;
    char* buf_ = nullptr;
    std::size_t len_ = 0;
    std::FILE* stream_;
};

// The version line and the usage text, as usage() prints them.
inline std::string usage_text() {
    std::string t = std::string("telvar  version ") + tv_api_version() + "\n";
    for (int i = 1; i < TELVAR_USAGE_LINES; ++i) t += Usage[i];
    return t;
}

// An argument vector whose elements live as long as the object, ended by a null element.
class arg_vector {
public:
    arg_vector(std::initializer_list<const char*> words) : words_(words.begin(), words.end()) {
        for (auto& w : words_) ptrs_.push_back(w.data());
        ptrs_.push_back(nullptr);
    }
    arg_vector(const arg_vector&) = delete;  // the pointers lead into this object
    arg_vector& operator=(const arg_vector&) = delete;
    int32_t argc() const { return static_cast<int32_t>(words_.size()); }
    char** argv() { return ptrs_.data(); }

private:
    std::vector<std::string> words_;
    std::vector<char*> ptrs_;
};

}  // namespace tvtest
