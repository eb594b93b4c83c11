#include "stand-ins/isapihost/http/worker_pool.h"

#include <system_error>

namespace isapihost {

WorkerPool::~WorkerPool() {
    stop();
}

unsigned WorkerPool::start(unsigned threads) {
    for (unsigned i = 0; i < threads; ++i) {
        try {
            threads_.emplace_back([this] { serve(); });
        } catch (const std::system_error&) {
            break;  // serve with the threads we have
        }
    }
    return static_cast<unsigned>(threads_.size());
}

void WorkerPool::submit(std::shared_ptr<WorkerJob> job) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        queue_.push_back(std::move(job));
    }
    wake_.notify_one();
}

void WorkerPool::stop() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    for (std::thread& thread : threads_) {
        thread.join();
    }
    threads_.clear();
}

void WorkerPool::serve() {
    for (;;) {
        std::shared_ptr<WorkerJob> job;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            wake_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
            if (queue_.empty()) {
                return;  // stopping, and nothing left to do
            }
            job = std::move(queue_.front());
            queue_.pop_front();
        }
        job->work();
    }
}

}  // namespace isapihost
