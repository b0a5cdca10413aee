// The collector (see collector.h).
#include "exporter/collector.h"

#include <algorithm>
#include <cstdio>

#include "exporter/metric_families.h"
#include "exporter/metrics_text.h"

namespace exporter {

namespace {

// Time to render and send the answer after the last exchange.
constexpr std::chrono::milliseconds answer_time{50};

double seconds_since(steady::time_point t) { return std::chrono::duration<double>(steady::now() - t).count(); }

}  // namespace

std::chrono::milliseconds read_deadline(std::chrono::milliseconds deadline, std::chrono::milliseconds timeout) {
    return std::max(deadline - timeout * 3 / 2 - answer_time, deadline / 2);
}

collector::collector(std::vector<std::string> targets, scrape_options options, std::chrono::milliseconds timeout,
                     read_function read)
    : targets_(std::move(targets)),
      options_(std::move(options)),
      read_deadline_(read_deadline(options_.deadline, timeout)),
      read_(std::move(read)) {}

collector::~collector() {
    if (reader_.joinable()) reader_.join();
}

std::string collector::metrics(steady::time_point received) {
    std::unique_lock<std::mutex> lock(mutex_);
    if (!reading_) start_read();
    const std::uint64_t mine = started_;
    if (done_.wait_until(lock, received + options_.deadline, [&] { return finished_ >= mine; })) return *text_;
    return unread_text(received);
}

void collector::start_read() {
    // The thread of the last read has ended its work (reading_ is false): the join is immediate.
    if (reader_.joinable()) reader_.join();
    reading_ = true;
    scrape_options o = options_;
    o.deadline = read_deadline_;
    reader_ = std::thread([this, o = std::move(o), number = ++started_]() mutable { run_read(std::move(o), number); });
}

void collector::run_read(scrape_options o, std::uint64_t number) {
    std::shared_ptr<const std::string> text;
    try {
        scrape_result r = read_(targets_, o);
        {
            const std::lock_guard<std::mutex> lock(mutex_);
            const auto now = steady::now();
            memory_.complete(r, now);
            memory_.remember(r, now);
        }
        text = std::make_shared<const std::string>(exposition_text(families_of(r, number)));
    } catch (const std::exception& e) {
        // Out of memory, most likely: the requests waiting answer as if the read had not ended.
        std::fprintf(stderr, "telvar-exporter: scrape failed: %s\n", e.what());
    }
    const std::lock_guard<std::mutex> lock(mutex_);
    reading_ = false;
    if (!text) return;
    text_ = std::move(text);
    finished_ = number;
    done_.notify_all();
}

std::string collector::unread_text(steady::time_point received) {
    scrape_result r;
    for (const std::string& t : targets_) {
        r.switches.emplace_back(t);
        r.switches.back().errors = 1;
    }
    r.deadline_exceeded = true;
    r.seconds = seconds_since(received);
    memory_.complete(r, steady::now());
    return exposition_text(families_of(r, started_));
}

}  // namespace exporter
