#include "save_batch.h"

#include "app/task_observer.h"
#include "app/user_message.h"

#include <QDir>

void save_batch::set_folders(const QStringList& folders, int planned_frames)
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_folders = folders;
    m_planned = planned_frames;
}

void save_batch::add_task()
{
    std::lock_guard<std::mutex> guard(m_lock);
    ++m_outstanding;
}

void save_batch::add_frame()
{
    std::lock_guard<std::mutex> guard(m_lock);
    ++m_frames;
}

void save_batch::interrupt(const QString& reason)
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_interrupted = reason;
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

QString save_batch::success_message(const QStringList& folders)
{
    return QStringLiteral("Save completed. Files in %1").arg(folders.join(QStringLiteral(" and ")));
}

QString save_batch::interrupted_message(const QString& reason, int saved, int planned, const QStringList& folders,
                                        const QStringList& failures)
{
    QString text;
    if (saved == 0) {
        text = QStringLiteral("Save stopped: %1 before any frame was captured; nothing was written.").arg(reason);
    } else {
        text = QStringLiteral("Save stopped: %1. %2 of %3 frames were saved in %4; %5 were not captured.")
                   .arg(reason)
                   .arg(saved)
                   .arg(planned)
                   .arg(folders.join(QStringLiteral(" and ")))
                   .arg(planned - saved);
    }
    if (!failures.isEmpty())
        text += QStringLiteral(" %1 file(s) could not be written: %2")
                    .arg(failures.size())
                    .arg(failures.join(QStringLiteral(", ")));
    return text;
}

void save_batch::report_locked(std::unique_lock<std::mutex>& lock)
{
    if (m_reported)
        return;
    m_reported = true;
    const QStringList failures = m_failures;
    const QStringList folders = m_folders;
    const QString interrupted = m_interrupted;
    const int frames = m_frames;
    const int planned = m_planned;
    ITaskObserver* observer = m_observer;
    lock.unlock();  // the observer posts a message; never call out under the lock
    if (!interrupted.isEmpty()) {
        // A batch that never got a frame leaves no empty folder behind.
        if (frames == 0) {
            for (const QString& folder : folders)
                QDir().rmdir(folder);
        }
        post_user_message(interrupted_message(interrupted, frames, planned, folders, failures));
    } else if (!failures.isEmpty()) {
        post_user_message(failure_message(failures));
    } else if (!folders.isEmpty()) {
        post_user_message(success_message(folders));
    } else if (observer != nullptr) {
        observer->on_task_finished();
    }
}
