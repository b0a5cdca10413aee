#include "http_server/work_queue.h"

namespace http {

work_queue::work_queue(unsigned threads) {
    threads_.reserve(threads);
    for (unsigned i = 0; i < threads; ++i) threads_.emplace_back([this] { serve(); });
}

work_queue::~work_queue() { close_and_wait(); }

bool work_queue::push(std::function<void()> job) {
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        if (closed_) return false;
        jobs_.push_back(std::move(job));
    }
    ready_.notify_one();
    return true;
}

void work_queue::close_and_wait() {
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        closed_ = true;
    }
    ready_.notify_all();
    for (std::thread& t : threads_)
        if (t.joinable()) t.join();
}

void work_queue::serve() {
    for (;;) {
        std::function<void()> job;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            ready_.wait(lock, [this] { return closed_ || !jobs_.empty(); });
            if (jobs_.empty()) return;  // closed, and nothing left to run
            job = std::move(jobs_.front());
            jobs_.pop_front();
        }
        job();
    }
}

}  // namespace http
