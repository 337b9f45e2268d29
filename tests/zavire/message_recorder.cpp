#include "message_recorder.h"

#include "app/global_message_module.h"

#include <QCoreApplication>
#include <QElapsedTimer>

message_recorder::message_recorder()
{
    global_message_module::instance()->add_observer(QStringLiteral("slot_show_message"), this,
                                                    SLOT(slot_show_message(const QStringList&)));
}

QStringList message_recorder::texts() const
{
    return m_texts;
}

int message_recorder::count(const QString& text) const
{
    return static_cast<int>(m_texts.count(text));
}

void message_recorder::slot_show_message(const QStringList& message)
{
    if (message.size() >= 2 && message[0] == QLatin1String("Tessivue Viewer"))
        m_texts.append(message[1]);
}

bool process_until(const std::function<bool()>& done, int timeout_ms)
{
    QElapsedTimer timer;
    timer.start();
    while (!done() && timer.elapsed() < timeout_ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 5);
    QCoreApplication::processEvents();
    return done();
}
