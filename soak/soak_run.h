#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <vector>

#include "soak_options.h"

class viewer;

// Drives the real main window on the camera through the module states in a
// loop (Depth, Depth + RGB with a saved batch and the 3D page, a resolution
// change, RGBD, the module closed and opened again) until the time is up,
// and reports frame rates, resident memory and any hang.
class soak_run : public QObject {
    Q_OBJECT
public:
    explicit soak_run(const soak_options& options);
    ~soak_run() override;

    // Runs the whole soak; returns the process exit status (0: passed).
    int exec();

public slots:
    // Registered on the message bus: the user messages the window posts.
    void slot_show_message(const QStringList& content);

private:
    struct state_rate {
        QString name;
        double seconds = 0;
        long long depth = 0;
        long long rgb = 0;
        long long cloud = 0;
    };

    bool open_camera();
    void count_frames();
    bool stream(const QString& state, bool depth, bool rgb, bool cloud);
    bool save_batch();
    bool change_resolution();
    bool one_cycle();
    bool wait_until(const std::function<bool()>& pred, int timeout_ms);
    void pump(int ms);
    void fail(const QString& why);
    void print_report(double warm_mb, double end_mb, double peak_mb, double second_cycle_mb) const;

    soak_options m_options;
    std::unique_ptr<viewer> m_window;
    QStringList m_messages;
    QString m_failure;
    std::vector<state_rate> m_rates;
    long long m_depth = 0;
    long long m_rgb = 0;
    long long m_cloud = 0;
    int m_cycles = 0;
    int m_warm_cycle = 0;  // the cycle that ended the warm-up
    int m_saves = 0;
    int m_resolution_index = 0;
    // Longest time the GUI thread did not get back to its event loop.
    qint64 m_longest_stall_ms = 0;
    QElapsedTimer m_last_tick;
};
