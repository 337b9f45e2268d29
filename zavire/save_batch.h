#pragma once

#include <QString>
#include <QStringList>

#include <mutex>

class ITaskObserver;

// Outcome of one save batch, shared by its tasks. The batch is reported once,
// when its last frame has been handed over and every task has been written:
// "Save completed." (naming the batch's folders when it knows them, else
// through the observer) when all files were written, a message naming the
// files that could not be written otherwise, and, for a batch cut short, a
// message saying why and how many of its frames were saved.
class save_batch {
public:
    // The folders the batch writes into and the number of frames asked for.
    void set_folders(const QStringList& folders, int planned_frames);
    // One more task of this batch exists (acquisition thread).
    void add_task();
    // A frame of this batch was captured and handed over for writing.
    void add_frame();
    // The batch ends before all its frames came, because of `reason` (for
    // example "the camera was disconnected").
    void interrupt(const QString& reason);
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
    // "Save completed." followed by the folders the files went to.
    static QString success_message(const QStringList& folders);
    // A batch cut short by `reason` after `saved` of `planned` frames.
    static QString interrupted_message(const QString& reason, int saved, int planned, const QStringList& folders,
                                       const QStringList& failures);

private:
    void report_locked(std::unique_lock<std::mutex>& lock);

    mutable std::mutex m_lock;
    int m_outstanding = 0;
    bool m_closed = false;
    bool m_reported = false;
    ITaskObserver* m_observer = nullptr;
    QStringList m_failures;
    QStringList m_folders;
    int m_planned = 0;
    int m_frames = 0;
    QString m_interrupted;  // reason, empty while the batch runs its course
};
