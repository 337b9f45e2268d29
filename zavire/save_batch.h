#pragma once

#include <QString>
#include <QStringList>

#include <mutex>

class ITaskObserver;

// Outcome of one save batch, shared by its tasks. The batch is reported once,
// when its last frame has been handed over and every task has been written:
// "Save completed." through the observer when all files were written,
// otherwise a message naming the files that could not be written.
class save_batch
{
public:
    // One more task of this batch exists (acquisition thread).
    void add_task();
    // The last frame of the batch has been handed over; `observer` hears of a
    // clean finish.
    void close(ITaskObserver* observer);
    // A file of this batch could not be written (any thread).
    void add_failure(const QString& file);
    // A task of this batch is done (worker thread); reports when it was the
    // last one of a closed batch.
    void task_done();

    QStringList failures() const;
    bool reported() const;

    // The message naming the files of `failures` that could not be written.
    static QString failure_message(const QStringList& failures);

private:
    void report_locked(std::unique_lock<std::mutex>& lock);

    mutable std::mutex m_lock;
    int m_outstanding = 0;
    bool m_closed = false;
    bool m_reported = false;
    ITaskObserver* m_observer = nullptr;
    QStringList m_failures;
};
