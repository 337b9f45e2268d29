#pragma once

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

struct save_task;

// Fixed set of worker threads writing save tasks from a FIFO queue.
class save_pool {
public:
    // Null when `workers` lies outside 1..1000.
    static std::unique_ptr<save_pool> create(int workers);
    ~save_pool();

    save_pool(const save_pool&) = delete;
    save_pool& operator=(const save_pool&) = delete;

    // Nice value of the worker threads: below the acquisition loop.
    static constexpr int kWorkerNice = 10;

    int workers() const { return static_cast<int>(m_threads.size()); }
    // Number of tasks waiting in the queue (not those being written).
    int queued();
    void enqueue(std::unique_ptr<save_task> task);
    // Stops the workers once every queued task is written, and joins them:
    // frames already captured are never dropped.
    void shutdown();

private:
    explicit save_pool(int workers);
    void worker_loop();

    std::mutex m_lock;
    std::condition_variable m_condition;
    std::deque<std::unique_ptr<save_task>> m_queue;
    bool m_stop = false;
    std::vector<std::thread> m_threads;
};
