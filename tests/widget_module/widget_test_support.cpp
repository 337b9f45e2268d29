#include "widget_test_support.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QObject>
#include <QPixmap>
#include <QScreen>
#include <QThread>
#include <QWidget>

#include "app/global_message_module.h"
#include "app/save_settings_store.h"
#include "app/user_message.h"

namespace widget_test {

// The bus never forgets an observer, so one receiver lives for the program
// and each catcher reads and resets its list.
struct message_catcher::receiver : QObject {
    Q_OBJECT
public:
    QStringList texts;
public slots:
    void slot_show_message(const QStringList& content)
    {
        if (content.size() >= 2)
            texts.append(content.at(1));
    }
};

namespace {
message_catcher::receiver* shared_receiver = nullptr;
}

message_catcher::message_catcher()
{
    if (!shared_receiver) {
        shared_receiver = new receiver();
        global_message_module::instance()->add_observer(kMessageObserver, shared_receiver,
                                                        SLOT(slot_show_message(const QStringList&)));
    }
    shared_receiver->texts.clear();
}

message_catcher::~message_catcher() = default;

QStringList message_catcher::texts() const
{
    return shared_receiver->texts;
}

QString message_catcher::last() const
{
    return shared_receiver->texts.isEmpty() ? QString() : shared_receiver->texts.last();
}

void message_catcher::clear()
{
    shared_receiver->texts.clear();
}

scratch_settings::scratch_settings() : m_previous(save_settings_file())
{
    set_save_settings_file(m_dir.filePath(QStringLiteral("configuration.ini")));
}

scratch_settings::~scratch_settings()
{
    set_save_settings_file(m_previous);
}

QString scratch_settings::file() const
{
    return m_dir.filePath(QStringLiteral("configuration.ini"));
}

bool wait_until(const std::function<bool()>& pred, int timeout_ms)
{
    QDeadlineTimer deadline(timeout_ms);
    while (!pred()) {
        if (deadline.hasExpired())
            return pred();
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(2);
    }
    return true;
}

QString save_screenshot(QWidget* w, const QString& name)
{
    QString folder = qEnvironmentVariable("TESSIVUE_SCREENSHOT_DIR");
    if (folder.isEmpty())
        folder = QCoreApplication::applicationDirPath() + QStringLiteral("/screenshots");
    QDir().mkpath(folder);
    const QString path = folder + '/' + name + QStringLiteral(".png");
    QPixmap shot;
    // Grabbing the screen includes OpenGL children (the 3D view) as drawn.
    if (QScreen* screen = w->screen())
        shot = screen->grabWindow(w->winId());
    if (shot.isNull())
        shot = w->grab();
    shot.save(path);
    return path;
}

}  // namespace widget_test

#include "widget_test_support.moc"
