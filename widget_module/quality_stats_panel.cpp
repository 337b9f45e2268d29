#include "quality_stats_panel.h"

#include <QFileInfo>

namespace {

const QString kNone = QStringLiteral("—");

QString mm(double v, int decimals) { return QStringLiteral("%1 mm").arg(v, 0, 'f', decimals); }
QString percent(double share) { return QStringLiteral("%1 %").arg(share * 100.0, 0, 'f', 1); }

}  // namespace

quality_stats_panel::quality_stats_panel(QWidget* parent) : QWidget(parent)
{
    setupUi(this);
    setAttribute(Qt::WA_StyledBackground);
    QFont font(QStringLiteral("Arial"));
    font.setPixelSize(12);
    setFont(font);
    QFont title = font;
    title.setBold(true);
    label_title->setFont(title);
    connect(btn_log, &QPushButton::clicked, this, &quality_stats_panel::sig_log_clicked);
    // Values change every frame; at a fixed size their labels repaint
    // without asking the layout to run again.
    const QFontMetrics fm(font);
    const int value_width = fm.horizontalAdvance(QStringLiteral("100.0 % (307200 of 307200)")) + 4;
    for (QLabel* l : value_labels()) {
        l->setFixedSize(value_width, fm.height());
        l->setTextInteractionFlags(Qt::TextSelectableByMouse);
    }
    label_log_status->setFixedSize(value_width, fm.height());
    show_no_region();
}

std::array<QLabel*, 14> quality_stats_panel::value_labels() const
{
    return {label_region_value, label_pixels_value, label_valid_value,
            label_mean_value, label_median_value, label_std_value,
            label_min_max_value, label_plane_rms_value, label_plane_max_value,
            label_plane_distance_value, label_plane_tilt_value, label_temporal_value,
            label_ir_mean_value, label_ir_saturated_value};
}

void quality_stats_panel::set_values_blank()
{
    for (QLabel* l : value_labels())
        l->setText(kNone);
}

void quality_stats_panel::show_no_region()
{
    set_values_blank();
    label_hint->show();
}

void quality_stats_panel::show_report(const quality::quality_report& r)
{
    if (!r.has_region) {
        show_no_region();
        return;
    }
    label_hint->hide();
    const quality::spatial_stats& s = r.spatial;
    label_region_value->setText(QStringLiteral("%1×%2 at %3, %4")
                                    .arg(r.area.width)
                                    .arg(r.area.height)
                                    .arg(r.area.x)
                                    .arg(r.area.y));
    label_pixels_value->setText(QString::number(s.pixels));
    label_valid_value->setText(
        QStringLiteral("%1 (%2 of %3)").arg(percent(s.valid_share)).arg(s.valid).arg(s.pixels));
    const bool any = s.valid > 0;
    label_mean_value->setText(any ? mm(s.mean_mm, 1) : kNone);
    label_median_value->setText(any ? mm(s.median_mm, 1) : kNone);
    label_std_value->setText(any ? mm(s.std_mm, 2) : kNone);
    label_min_max_value->setText(any ? QStringLiteral("%1 / %2 mm").arg(s.min_mm).arg(s.max_mm)
                                     : kNone);

    const quality::plane_fit& p = r.plane;
    if (!p.ok)
        label_plane_rms_value->setText(kNone);
    else if (p.outliers > 0)
        label_plane_rms_value->setText(
            (p.outliers == 1 ? tr("%1 (1 outlier left out)") : tr("%1 (%2 outliers left out)").arg("%1", QString::number(p.outliers)))
                .arg(mm(p.rms_mm, 2)));
    else
        label_plane_rms_value->setText(mm(p.rms_mm, 2));
    label_plane_max_value->setText(p.ok ? mm(p.max_abs_mm, 2) : kNone);
    label_plane_distance_value->setText(p.ok && p.distance_ok ? mm(p.distance_mm, 1) : kNone);
    label_plane_tilt_value->setText(p.ok ? QStringLiteral("%1°").arg(p.tilt_deg, 0, 'f', 2) : kNone);

    const quality::temporal_result& t = r.temporal;
    label_temporal_value->setText(
        t.ok ? QStringLiteral("%1 (%2/%3 frames)").arg(mm(t.std_mm, 2)).arg(t.frames).arg(t.window)
             : QStringLiteral("— (%1/%2 frames)").arg(t.frames).arg(t.window));

    label_ir_mean_value->setText(r.ir.ok ? QString::number(r.ir.mean, 'f', 1) : kNone);
    label_ir_saturated_value->setText(r.ir.ok ? percent(r.ir.saturated_share) : kNone);
}

void quality_stats_panel::set_logging(bool logging, const QString& file, qulonglong rows)
{
    btn_log->setText(logging ? tr("Stop logging") : tr("Log to CSV…"));
    if (logging)
        label_log_status->setText(
            tr("%1: %2 rows").arg(QFileInfo(file).fileName()).arg(rows));
    else if (!file.isEmpty())
        label_log_status->setText(tr("%1 rows in %2").arg(rows).arg(QFileInfo(file).fileName()));
    else
        label_log_status->clear();
    label_log_status->setToolTip(file);
}
