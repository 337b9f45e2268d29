#pragma once

// Runs a driver_operate against the virtual camera and records, in order,
// every signal it emits (delivered queued to the test's GUI thread).

#include "zavire/driver_operate.h"

#include "message_recorder.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <memory>
#include <utility>
#include <vector>

struct driver_event {
    QString name;
    QList<QVariant> args;
};

// Sets PVX3_* variables for the next context and restores them afterwards.
class camera_env {
public:
    explicit camera_env(std::vector<std::pair<QByteArray, QByteArray>> vars);
    ~camera_env();

private:
    std::vector<QByteArray> m_names;
};

class driver_harness : public QObject {
    Q_OBJECT
public:
    driver_harness();
    ~driver_harness() override;

    // Creates the driver (with the current environment, or on `context`),
    // connects every signal and starts its thread.
    void open(pvx3::context* context = nullptr);
    // The window's close sequence; returns how long it took in ms.
    qint64 close();

    driver_operate* driver() { return m_driver.get(); }

    int count(const QString& name) const;
    QList<driver_event> events(const QString& name) const;
    const QList<driver_event>& all() const { return m_events; }
    // Processes events until `name` has been seen `n` times in total.
    bool wait_for(const QString& name, int n = 1, int timeout_ms = 60000);
    // Waits for `n` more `name` events than now.
    bool wait_for_more(const QString& name, int n = 1, int timeout_ms = 60000);

    // Switches the ToF module on and waits for its start report.
    bool start_tof();

    message_recorder messages;

private:
    void record(const QString& name, QList<QVariant> args = {});

    std::unique_ptr<driver_operate> m_driver;
    QList<driver_event> m_events;
};
