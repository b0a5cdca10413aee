// The exporter's collector: the text of /metrics for each request, from reads of the switches
// (scrape.h) that concurrent requests share.
//
// Single flight: a request that arrives while a read is running waits for that read; one that
// arrives while none is running starts one. The library is single-threaded, so there is never
// more than one read, and it runs on a thread of its own: a request waits for it only until its
// deadline (--deadline from the moment the request had arrived), then answers with what it has,
// which is nothing of that read: its targets are listed as not read (telvar_up 0, an error,
// the deadline exceeded), as for a switch that does not answer. A read stops starting
// operations early enough that its last exchange normally ends before the deadline of the
// request that started it (see read_deadline). Waiting requests hold no lock on the library.
//
// Between reads the collector remembers switches (switch_memory.h) for `remembered_for`.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "exporter/scrape.h"
#include "exporter/switch_memory.h"

namespace exporter {

// How long a switch that answered once stays listed after it last answered.
inline constexpr std::chrono::seconds remembered_for{15 * 60};

// The deadline a read gets within a request's `deadline`: room for one last exchange of
// `timeout` (strict mode ends it at 1.5 times that) and the answer, but at least half of it.
std::chrono::milliseconds read_deadline(std::chrono::milliseconds deadline, std::chrono::milliseconds timeout);

class collector {
public:
    using read_function = std::function<scrape_result(const std::vector<std::string>&, const scrape_options&)>;

    // `timeout`: the exchange budget the library was given. `read` is the scrape (tests give
    // another).
    collector(std::vector<std::string> targets, scrape_options options, std::chrono::milliseconds timeout,
              read_function read = scrape);
    ~collector();  // waits for a read in flight
    collector(const collector&) = delete;
    collector& operator=(const collector&) = delete;

    // The text of /metrics for a request that had arrived at `received`, by received + deadline.
    std::string metrics(steady::time_point received);

private:
    void start_read();  // with mutex_ held and no read running
    void run_read(scrape_options o, std::uint64_t number);
    std::string unread_text(steady::time_point received);  // with mutex_ held

    const std::vector<std::string> targets_;
    const scrape_options options_;
    const std::chrono::milliseconds read_deadline_;
    const read_function read_;

    std::mutex mutex_;
    std::condition_variable done_;
    // Guarded by mutex_:
    bool reading_ = false;
    std::uint64_t started_ = 0;   // reads started so far
    std::uint64_t finished_ = 0;  // the number of the last read that ended
    std::shared_ptr<const std::string> text_;  // its metrics
    switch_memory memory_{remembered_for};
    std::thread reader_;
};

}  // namespace exporter
