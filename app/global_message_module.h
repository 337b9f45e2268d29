#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

#include <memory>
#include <mutex>
#include <vector>

class obesrver_apater;

// Process-wide registry of named observers through which any thread posts
// user messages ([caption, text]). Created on first use, never destroyed.
class global_message_module : public QObject {
    Q_OBJECT
public:
    static global_message_module* instance();

    // `slot` is Qt's normalised slot signature with its slot prefix, e.g.
    // SLOT(slot_show_message(const QStringList &)). Entries are never removed;
    // registering twice makes the receiver get every post twice.
    void add_observer(const QString& name, QObject* receiver, const char* slot);

    // Delivers `message` to every observer registered under `name`, in
    // registration order. Callable from any thread.
    void post(const QString& name, const QStringList& message);

private:
    global_message_module();
    ~global_message_module() override;

    struct entry {
        QString name;
        QObject* receiver;                         // not owned
        std::unique_ptr<obesrver_apater> adapter;  // owned by the entry
    };

    // Registration normally happens before worker threads exist, but the lock
    // keeps a late registration from racing a post.
    std::mutex m_lock;
    std::vector<entry> m_entries;
};
