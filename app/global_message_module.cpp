#include "global_message_module.h"

#include "obesrver_apater.h"

global_message_module::global_message_module() = default;
global_message_module::~global_message_module() = default;

global_message_module* global_message_module::instance()
{
    // Intentionally leaked: posts may come from threads still running while
    // static destructors run at exit.
    static global_message_module* bus = new global_message_module();
    return bus;
}

void global_message_module::add_observer(const QString& name, QObject* receiver, const char* slot)
{
    auto adapter = std::make_unique<obesrver_apater>();
    QObject::connect(adapter.get(), SIGNAL(notify(QStringList)), receiver, slot, Qt::AutoConnection);
    std::lock_guard<std::mutex> guard(m_lock);
    m_entries.push_back(entry{name, receiver, std::move(adapter)});
}

void global_message_module::post(const QString& name, const QStringList& message)
{
    // Emit outside the lock: a direct delivery may post again from its slot.
    std::vector<obesrver_apater*> targets;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        for (const entry& e : m_entries) {
            if (e.name == name)
                targets.push_back(e.adapter.get());
        }
    }
    for (obesrver_apater* adapter : targets)
        emit adapter->notify(message);
}
