// The worker threads that run request handlers with blocking I/O, as IIS runs synchronous
// ISAPI code on its thread pool. Jobs wait in a first-come queue; a slow handler holds
// one worker and no more.
//
// Thread safety: start() and stop() from the thread that runs the server; submit() from
// any thread (the I/O threads, when a request head is complete).
#ifndef ISAPIHOST_HTTP_WORKER_POOL_H
#define ISAPIHOST_HTTP_WORKER_POOL_H

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace isapihost {

class WorkerJob {
  public:
    virtual ~WorkerJob() = default;
    // Runs on a worker thread. Must not throw.
    virtual void work() = 0;
};

class WorkerPool {
  public:
    WorkerPool() = default;
    ~WorkerPool();
    WorkerPool(const WorkerPool&) = delete;
    WorkerPool& operator=(const WorkerPool&) = delete;

    // Starts up to `threads` workers; returns how many started.
    unsigned start(unsigned threads);
    void submit(std::shared_ptr<WorkerJob> job);
    // Lets the queued jobs finish, then joins the workers.
    void stop();

  private:
    void serve();

    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<std::shared_ptr<WorkerJob>> queue_;  // guarded by mutex_
    bool stopping_ = false;                         // guarded by mutex_
    std::vector<std::thread> threads_;
};

}  // namespace isapihost

#endif  // ISAPIHOST_HTTP_WORKER_POOL_H
