#include "host/runtime/ThreadPool.h"

#include <exception>
#include <map>
#include <memory>

#include "host/core/Log.h"

namespace VelpoHost {

CThreadPool::CThreadPool(uint32_t threads) {
    if (threads == 0) {
        threads = 1;
    }
    // The system may refuse threads beyond its limit (ulimit -u, a
    // container's pids limit): the pool works with those it got, and the
    // callers' threads run the tasks when it got none.
    for (uint32_t i = 0; i < threads; ++i) {
        try {
            workers_.emplace_back([this] { Work(); });
        } catch (const std::exception&) {
            break;
        }
    }
}

CThreadPool::~CThreadPool() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    for (std::thread& worker : workers_) {
        worker.join();
    }
}

void CThreadPool::Run(uint32_t count, const std::function<void(uint32_t)>& task) {
    if (count == 0) {
        return;
    }
    if (workers_.empty()) {
        for (uint32_t index = 0; index < count; ++index) {
            task(index);
        }
        return;
    }
    // The batch lives on the caller's stack: the caller leaves only after
    // the last worker has counted its call done under the lock, and no
    // worker touches the batch after that.
    CBatch batch;
    batch.task = &task;
    batch.log = CLogCapture::Current();
    batch.count = count;
    std::unique_lock lock(mutex_);
    batches_.push_back(&batch);
    wake_.notify_all();
    batch.finished.wait(lock, [&batch] { return batch.done == batch.count; });
}

void CThreadPool::Work() {
    std::unique_lock lock(mutex_);
    for (;;) {
        wake_.wait(lock, [this] { return stopping_ || !batches_.empty(); });
        if (batches_.empty()) {
            return;
        }
        CBatch* batch = batches_.front();
        uint32_t index = batch->next++;
        if (batch->next == batch->count) {
            batches_.pop_front();
        }
        lock.unlock();
        {
            CLogCapture::CScope log(batch->log);
            (*batch->task)(index);
        }
        lock.lock();
        if (++batch->done == batch->count) {
            batch->finished.notify_all();
        }
    }
}

CThreadPool& CThreadPool::Shared(uint32_t threads) {
    static std::mutex mutex;
    static std::map<uint32_t, std::unique_ptr<CThreadPool>> pools;
    if (threads == 0) {
        threads = 1;
    }
    std::lock_guard lock(mutex);
    std::unique_ptr<CThreadPool>& pool = pools[threads];
    if (!pool) {
        pool = std::make_unique<CThreadPool>(threads);
    }
    return *pool;
}

}  // namespace VelpoHost
