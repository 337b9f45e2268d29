#include "save_pool.h"

#include "save_task.h"

#include <opencv2/imgcodecs.hpp>

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

std::unique_ptr<save_pool> save_pool::create(int workers)
{
    if (workers < 1 || workers > 1000)
        return nullptr;
    return std::unique_ptr<save_pool>(new save_pool(workers));
}

save_pool::save_pool(int workers)
{
    // OpenCV builds its table of image codecs on first use behind a
    // function-local static. Built here, before the workers start, it is
    // ordered before every worker's first encoding (the SDK's raw dumps
    // included) instead of being built by whichever worker comes first while
    // the others check the static in code ThreadSanitizer cannot see.
    (void)cv::haveImageWriter(".png");
    m_threads.reserve(static_cast<size_t>(workers));
    for (int i = 0; i < workers; ++i)
        m_threads.emplace_back([this] { worker_loop(); });
}

save_pool::~save_pool()
{
    shutdown();
}

int save_pool::queued()
{
    std::lock_guard<std::mutex> guard(m_lock);
    return static_cast<int>(m_queue.size());
}

void save_pool::enqueue(std::unique_ptr<save_task> task)
{
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_queue.push_back(std::move(task));
    }
    m_condition.notify_one();
}

void save_pool::shutdown()
{
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_stop = true;
    }
    m_condition.notify_all();
    for (std::thread& t : m_threads) {
        if (t.joinable())
            t.join();
    }
}

void save_pool::worker_loop()
{
    // Files of a batch may be written after the frames have come; the
    // acquisition loop must keep the camera's rate meanwhile, so writers
    // only take the time it leaves (per-thread nice value on Linux).
    setpriority(PRIO_PROCESS, static_cast<id_t>(syscall(SYS_gettid)), kWorkerNice);
    for (;;) {
        std::unique_ptr<save_task> task;
        {
            std::unique_lock<std::mutex> lock(m_lock);
            m_condition.wait(lock, [this] { return m_stop || !m_queue.empty(); });
            // Queued tasks are frames already captured: write them all before
            // a stopping worker ends.
            if (m_queue.empty())
                return;
            task = std::move(m_queue.front());
            m_queue.pop_front();
        }
        run_save_task(*task);
    }
}
