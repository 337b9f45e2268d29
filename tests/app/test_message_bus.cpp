#include "app/global_message_module.h"
#include "app/user_message.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QObject>
#include <QThread>

#include <gtest/gtest.h>

#include <functional>
#include <thread>

namespace {

class recorder : public QObject {
    Q_OBJECT
public:
    QList<QStringList> received;
    QList<QThread*> threads;

public slots:
    void slot_show_message(const QStringList& message)
    {
        received.append(message);
        threads.append(QThread::currentThread());
    }
};

// Each test registers under its own name: entries are never removed.
QString unique_name(const char* test)
{
    return QStringLiteral("bus_test_%1").arg(QLatin1String(test));
}

bool process_until(const std::function<bool()>& done, int timeout_ms = 5000)
{
    QElapsedTimer timer;
    timer.start();
    while (!done() && timer.elapsed() < timeout_ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    return done();
}

TEST(MessageBus, PostFromGuiThreadIsDeliveredBeforePostReturns)
{
    recorder r;
    const QString name = unique_name("gui");
    global_message_module::instance()->add_observer(name, &r, SLOT(slot_show_message(const QStringList&)));
    global_message_module::instance()->post(name, {QStringLiteral("Tessivue Viewer"), QStringLiteral("hello")});
    ASSERT_EQ(r.received.size(), 1);
    EXPECT_EQ(r.received[0], (QStringList{QStringLiteral("Tessivue Viewer"), QStringLiteral("hello")}));
    EXPECT_EQ(r.threads[0], QThread::currentThread());
}

TEST(MessageBus, PostFromWorkerIsQueuedToReceiverThread)
{
    recorder r;
    const QString name = unique_name("worker");
    global_message_module::instance()->add_observer(name, &r, SLOT(slot_show_message(const QStringList&)));
    std::thread worker([&] {
        global_message_module::instance()->post(name, {QStringLiteral("Tessivue Viewer"), QStringLiteral("Save completed.")});
    });
    worker.join();
    // Not delivered until the GUI thread processes its events.
    EXPECT_TRUE(r.received.isEmpty());
    ASSERT_TRUE(process_until([&] { return r.received.size() == 1; }));
    EXPECT_EQ(r.received[0][1], QStringLiteral("Save completed."));
    EXPECT_EQ(r.threads[0], QThread::currentThread());
}

TEST(MessageBus, DoubleRegistrationReceivesTwice)
{
    recorder r;
    const QString name = unique_name("twice");
    auto* bus = global_message_module::instance();
    bus->add_observer(name, &r, SLOT(slot_show_message(const QStringList&)));
    bus->add_observer(name, &r, SLOT(slot_show_message(const QStringList&)));
    bus->post(name, {QStringLiteral("c"), QStringLiteral("t")});
    EXPECT_EQ(r.received.size(), 2);
}

TEST(MessageBus, NamesAreExactAndUnknownNamesAreDropped)
{
    recorder r;
    const QString name = unique_name("exact");
    auto* bus = global_message_module::instance();
    bus->add_observer(name, &r, SLOT(slot_show_message(const QStringList&)));
    bus->post(name.toUpper(), {QStringLiteral("c"), QStringLiteral("t")});
    bus->post(QStringLiteral("nobody_listens"), {QStringLiteral("c"), QStringLiteral("t")});
    QCoreApplication::processEvents();
    EXPECT_TRUE(r.received.isEmpty());
}

TEST(MessageBus, UserMessageCarriesCaptionAndObserverName)
{
    recorder r;
    global_message_module::instance()->add_observer(QStringLiteral("slot_show_message"), &r,
                                                    SLOT(slot_show_message(const QStringList&)));
    post_user_message(QStringLiteral("open device fail!"));
    ASSERT_FALSE(r.received.isEmpty());
    EXPECT_EQ(r.received.back(), (QStringList{QStringLiteral("Tessivue Viewer"), QStringLiteral("open device fail!")}));
}

TEST(MessageBus, ManyWorkersPostingConcurrentlyLoseNothing)
{
    recorder r;
    const QString name = unique_name("many");
    global_message_module::instance()->add_observer(name, &r, SLOT(slot_show_message(const QStringList&)));
    std::vector<std::thread> workers;
    for (int t = 0; t < 4; ++t) {
        workers.emplace_back([&, t] {
            for (int i = 0; i < 25; ++i)
                global_message_module::instance()->post(name, {QString::number(t), QString::number(i)});
        });
    }
    for (auto& w : workers)
        w.join();
    EXPECT_TRUE(process_until([&] { return r.received.size() == 100; }));
}

}  // namespace

#include "test_message_bus.moc"
