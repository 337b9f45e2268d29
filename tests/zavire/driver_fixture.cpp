#include "driver_fixture.h"

#include <QElapsedTimer>
#include <QVariant>

#include <cstdio>
#include <cstdlib>

camera_env::camera_env(std::vector<std::pair<QByteArray, QByteArray>> vars)
{
    for (auto& v : vars) {
        qputenv(v.first.constData(), v.second);
        m_names.push_back(v.first);
    }
}

camera_env::~camera_env()
{
    for (const QByteArray& n : m_names)
        qunsetenv(n.constData());
}

driver_harness::driver_harness() = default;

driver_harness::~driver_harness()
{
    if (m_driver)
        close();
}

void driver_harness::record(const QString& name, QList<QVariant> args)
{
    m_events.append(driver_event{name, std::move(args)});
}

void driver_harness::open(pvx3::context* context)
{
    m_driver = std::make_unique<driver_operate>(context);
    driver_operate* d = m_driver.get();
    connect(d, &driver_operate::sig_update_date_vec, this, [this] { record(QStringLiteral("update_date_vec")); });
    connect(d, &driver_operate::sig_update_cloud_point_vec, this,
            [this] { record(QStringLiteral("update_cloud_point_vec")); });
    connect(d, &driver_operate::sig_device_info, this,
            [this](QString module, QString product, QString version, QString recommended, bool tof, bool rgb) {
                record(QStringLiteral("device_info"), {module, product, version, recommended, tof, rgb});
            });
    connect(d, &driver_operate::sig_open_faild, this, [this] { record(QStringLiteral("open_faild")); });
    connect(d, &driver_operate::sig_show_rgb, this, [this](QPixmap p) { record(QStringLiteral("show_rgb"), {p.size()}); });
    connect(d, &driver_operate::sig_show_ir, this, [this](QPixmap p) { record(QStringLiteral("show_ir"), {p.size()}); });
    connect(d, &driver_operate::sig_finish_change_frame, this, [this](bool ok, int w, int h, int type) {
        record(QStringLiteral("finish_change_frame"), {ok, w, h, type});
    });
    connect(d, &driver_operate::sig_change_integral_time_finish, this,
            [this](bool ok) { record(QStringLiteral("integral_time_finish"), {ok}); });
    connect(d, &driver_operate::sig_reset_resolution, this, [this] { record(QStringLiteral("reset_resolution")); });
    connect(d, &driver_operate::sig_fail_open_drive, this, [this] { record(QStringLiteral("fail_open_drive")); });
    connect(d, &driver_operate::sig_stream_failed, this,
            [this](int module) { record(QStringLiteral("stream_failed"), {module}); });
    d->start();
}

qint64 driver_harness::close()
{
    QElapsedTimer timer;
    timer.start();
    m_driver->stop_tof();
    m_driver->stop_rgb();
    m_driver->stop_rgbd();
    const qint64 t0 = timer.elapsed();
    m_driver->stop();
    const qint64 t1 = timer.elapsed();
    m_driver->wait();
    const qint64 ms = timer.elapsed();
    if (qEnvironmentVariableIsSet("TESSIVUE_CLOSE_TIMES"))
        std::fprintf(stderr, "close: stops %lld ms, stop() %lld ms, wait %lld ms\n", static_cast<long long>(t0),
                     static_cast<long long>(t1 - t0), static_cast<long long>(ms - t1));
    m_driver.reset();
    return ms;
}

int driver_harness::count(const QString& name) const
{
    int n = 0;
    for (const driver_event& e : m_events)
        n += e.name == name ? 1 : 0;
    return n;
}

QList<driver_event> driver_harness::events(const QString& name) const
{
    QList<driver_event> out;
    for (const driver_event& e : m_events) {
        if (e.name == name)
            out.append(e);
    }
    return out;
}

bool driver_harness::wait_for(const QString& name, int n, int timeout_ms)
{
    return process_until([&] { return count(name) >= n; }, timeout_ms);
}

bool driver_harness::wait_for_more(const QString& name, int n, int timeout_ms)
{
    return wait_for(name, count(name) + n, timeout_ms);
}

bool driver_harness::start_tof()
{
    if (!wait_for(QStringLiteral("reset_resolution")))
        return false;
    const int before = count(QStringLiteral("finish_change_frame"));
    m_driver->start_tof();
    m_driver->wake();
    return wait_for(QStringLiteral("finish_change_frame"), before + 1);
}
