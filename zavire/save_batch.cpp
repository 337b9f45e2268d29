#include "save_batch.h"

#include "app/task_observer.h"
#include "app/user_message.h"

void save_batch::add_task()
{
    std::lock_guard<std::mutex> guard(m_lock);
    ++m_outstanding;
}

void save_batch::close(ITaskObserver* observer)
{
    std::unique_lock<std::mutex> lock(m_lock);
    m_closed = true;
    m_observer = observer;
    if (m_outstanding == 0)
        report_locked(lock);
}

void save_batch::add_failure(const QString& file)
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_failures.append(file);
}

void save_batch::task_done()
{
    std::unique_lock<std::mutex> lock(m_lock);
    --m_outstanding;
    if (m_closed && m_outstanding == 0)
        report_locked(lock);
}

QStringList save_batch::failures() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_failures;
}

bool save_batch::reported() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_reported;
}

QString save_batch::failure_message(const QStringList& failures)
{
    return QStringLiteral("Save failed: %1 file(s) could not be written: %2")
        .arg(failures.size())
        .arg(failures.join(QStringLiteral(", ")));
}

void save_batch::report_locked(std::unique_lock<std::mutex>& lock)
{
    if (m_reported)
        return;
    m_reported = true;
    const QStringList failures = m_failures;
    ITaskObserver* observer = m_observer;
    lock.unlock(); // the observer posts a message; never call out under the lock
    if (!failures.isEmpty())
        post_user_message(failure_message(failures));
    else if (observer != nullptr)
        observer->on_task_finished();
}
