// Running the GUI thread's events for a while without spinning. A loop of
// processEvents() returns at once when nothing is waiting, so it keeps a core
// busy: that time would count as the GUI thread's CPU and take a core from
// the camera and render threads on a small machine.
#pragma once

#include <QEventLoop>
#include <QTimer>
#include <functional>

namespace bench_events {

// Handles events as the program's own loop would, for `ms` milliseconds.
inline void run_for(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// Handles events until `done` holds (checked every millisecond) or `ms`
// milliseconds have passed; whether it holds.
inline bool run_until(const std::function<bool()>& done, int ms)
{
    if (done())
        return true;
    QEventLoop loop;
    QTimer poll;
    poll.setInterval(1);
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (done())
            loop.quit();
    });
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    poll.start();
    loop.exec();
    return done();
}

}  // namespace bench_events
