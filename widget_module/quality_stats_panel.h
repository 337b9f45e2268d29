#pragma once

#include <QString>
#include <QWidget>
#include <array>

#include "quality/quality_meter.h"
#include "ui_quality_stats_panel.h"

// The depth-quality numbers of the region of interest, refreshed per
// frame, with the "Log to CSV…" button. Shows a hint instead of numbers
// while no region is drawn; values that cannot be measured read "—".
class quality_stats_panel : public QWidget, public Ui_quality_stats_panel {
    Q_OBJECT

public:
    explicit quality_stats_panel(QWidget* parent = nullptr);

    void show_report(const quality::quality_report& report);
    void show_no_region();
    // Logging state beside the button: the file name and rows written.
    void set_logging(bool logging, const QString& file, qulonglong rows);

signals:
    // The user pressed the log button (start when idle, stop while logging).
    void sig_log_clicked();

private:
    void set_values_blank();
    std::array<QLabel*, 14> value_labels() const;
};
