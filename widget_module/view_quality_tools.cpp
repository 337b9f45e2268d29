#include "view_quality_tools.h"

#include <QGraphicsView>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QShortcut>
#include <QVBoxLayout>
#include <algorithm>

#include "quality_controller.h"
#include "quality_plot_widget.h"
#include "quality_region_overlay.h"
#include "quality_stats_panel.h"
#include "zavire/frame_data.h"

namespace {

constexpr int kPlotMinHeight = 170;
constexpr int kMargin = 4;

bool same_lens(const std::optional<quality::depth_intrinsics>& a,
               const std::optional<quality::depth_intrinsics>& b)
{
    if (!a || !b)
        return a.has_value() == b.has_value();
    return a->width == b->width && a->height == b->height && a->fx == b->fx && a->fy == b->fy && a->cx == b->cx && a->cy == b->cy && a->k1 == b->k1 && a->k2 == b->k2 && a->p1 == b->p1 && a->p2 == b->p2 && a->k3 == b->k3;
}

}  // namespace

view_quality_tools::view_quality_tools(QWidget* page) : QObject(page), m_page(page)
{
    m_overlay = new quality_region_overlay(page);
    m_overlay->setObjectName(QStringLiteral("quality_region_overlay"));

    m_pane = new QScrollArea(page);
    m_pane->setObjectName(QStringLiteral("quality_pane"));
    m_pane->setFrameShape(QFrame::NoFrame);
    m_pane->setWidgetResizable(true);
    m_pane->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    auto* inner = new QWidget(m_pane);
    inner->setObjectName(QStringLiteral("quality_pane_inner"));
    QPalette dark = inner->palette();
    dark.setColor(QPalette::Window, QColor(40, 40, 40));
    dark.setColor(QPalette::Base, QColor(40, 40, 40));
    inner->setPalette(dark);
    inner->setAutoFillBackground(true);
    m_pane->viewport()->setPalette(dark);
    m_pane->viewport()->setAutoFillBackground(true);
    auto* column = new QVBoxLayout(inner);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(2);
    m_panel = new quality_stats_panel(inner);
    m_plot = new quality_plot_widget(inner);
    m_plot->setMinimumHeight(kPlotMinHeight);
    m_plot->setPalette(dark);
    m_plot->setAutoFillBackground(true);
    // Round the chart's plate the scene shows; dark like the pane.
    for (QGraphicsView* v : m_plot->findChildren<QGraphicsView*>())
        v->setBackgroundBrush(QColor(40, 40, 40));
    column->addWidget(m_panel);
    column->addWidget(m_plot, 1);
    m_pane->setWidget(inner);
    // The window's style sheets would light the chart's surround up.
    m_pane->setStyleSheet(QStringLiteral(
        "#quality_pane_inner, QGraphicsView {background-color: rgb(40,40,40); border: 0px;}"));
    m_pane->hide();

    m_controller = new quality_controller(this);
    m_controller->attach(m_overlay, m_panel, m_plot);

    // The first region shows its numbers; the button hides them again.
    // A new region starts the controller's windows afresh (it is connected
    // first), so the frame on screen counts again.
    connect(m_overlay, &quality_region_overlay::sig_region_changed, this, [this] {
        m_window_fresh = true;
        place_pane();
        if (!m_pane_wanted)
            set_pane_shown(true);  // measures
        else
            remeasure_shown();
    });
    connect(m_overlay, &quality_region_overlay::sig_region_cleared, this, [this] {
        m_window_fresh = true;
        place_pane();
        remeasure_shown();
    });
}

view_quality_tools::~view_quality_tools() = default;

QWidget* view_quality_tools::pane() const { return m_pane; }

void view_quality_tools::set_geometry(const QSize& image_size, const QRect& drawn,
                                      const QRect& area)
{
    m_area = area;
    m_overlay->setGeometry(area);
    m_overlay->set_image_geometry(image_size, drawn.translated(-area.topLeft()));
    place_pane();
}

void view_quality_tools::set_escape_scope(QWidget* view)
{
    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), view, nullptr, nullptr,
                                 Qt::WidgetWithChildrenShortcut);
    connect(escape, &QShortcut::activated, m_overlay, &quality_region_overlay::clear_region);
}

void view_quality_tools::set_pane_right_margin(int px)
{
    m_right_margin = std::max(0, px);
    place_pane();
}

void view_quality_tools::place_pane()
{
    const int inner_width = std::max(m_panel->sizeHint().width(), m_panel->minimumSizeHint().width());
    const int scroll = m_pane->verticalScrollBar()->sizeHint().width();
    const int width = std::min(inner_width + scroll, std::max(0, m_area.width() - 2 * kMargin));
    // The pane keeps to the side away from the region, so the region stays in
    // sight: left edge normally, right edge for a region in the left half.
    int x = m_area.x() + kMargin;
    const QRect region = m_overlay->region_rect();
    if (!region.isEmpty() && region.center().x() < m_area.width() / 2) {
        const int right = m_area.right() - kMargin - m_right_margin;
        x = std::max(m_area.x() + kMargin, right - width + 1);
    }
    m_pane->setGeometry(x, m_area.y() + kMargin, width, std::max(0, m_area.height() - 2 * kMargin));
}

void view_quality_tools::take_frame(const cv::Mat& depth, const cv::Mat& ir,
                                    const frame_data::depth_frame_facts& facts)
{
    m_depth = depth;
    m_ir = ir;
    m_frame_number = facts.frame_number;
    m_time_s = facts.time_s;
    m_flip_vertical = facts.flip_vertical;
    m_flip_horizontal = facts.flip_horizontal;
    if (!same_lens(m_lens, facts.lens)) {
        m_lens = facts.lens;
        m_controller->set_intrinsics(m_lens ? *m_lens : quality::depth_intrinsics());
    }
    // A flip mirrors the region; the frame is measured just below.
    m_measuring_again = true;
    m_overlay->set_flips(facts.flip_vertical, facts.flip_horizontal);
    m_measuring_again = false;
    if (in_use())
        feed();
}

void view_quality_tools::feed()
{
    if (m_depth.empty())
        return;
    // Frames without facts (0, 0) cannot be told apart; they are all measured.
    const bool known = m_frame_number != 0 || m_time_s != 0;
    if (!m_window_fresh && known && m_frame_number == m_fed_number && m_time_s == m_fed_time)
        return;
    m_window_fresh = false;
    m_fed_number = m_frame_number;
    m_fed_time = m_time_s;
    quality_controller::frame f;
    f.depth = m_depth;
    f.ir = m_ir;
    f.flip_vertical = m_flip_vertical;
    f.flip_horizontal = m_flip_horizontal;
    f.frame_number = m_frame_number;
    f.time_s = m_time_s;
    m_controller->take_frame(f);
}

void view_quality_tools::remeasure_shown()
{
    // A paused picture shows its numbers at once; a live one gets them with
    // the next frame anyway, which comes within a frame time.
    if (m_measuring_again)
        return;
    feed();
}

void view_quality_tools::set_probe_pixel(const QPoint& pixel)
{
    m_controller->set_probe_pixel(pixel);
}

void view_quality_tools::clear_probe_pixel() { m_controller->clear_probe_pixel(); }

void view_quality_tools::set_page_shown(bool shown)
{
    m_page_shown = shown;
    m_overlay->setVisible(shown);
    m_pane->setVisible(shown && m_pane_wanted);
    if (shown) {
        m_overlay->raise();
        if (m_pane_wanted)
            m_pane->raise();
    }
}

bool view_quality_tools::in_use() const
{
    return m_overlay->region().has_value() || m_pane_wanted || m_controller->logging();
}

bool view_quality_tools::pane_shown() const { return m_pane_wanted; }

void view_quality_tools::set_pane_shown(bool shown)
{
    if (shown == m_pane_wanted)
        return;
    m_pane_wanted = shown;
    m_pane->setVisible(shown && m_page_shown);
    if (shown) {
        place_pane();
        m_pane->raise();
        remeasure_shown();
    }
    update_button();
    emit sig_pane_shown(shown);
    // Less than the pane's width again for the image: the pane would hide it.
    if (shown && m_page_shown && m_area.width() < 2 * m_pane->width() + 2 * kMargin)
        emit sig_needs_room();
}

QPushButton* view_quality_tools::make_button(QWidget* parent)
{
    auto* b = new QPushButton(parent);
    b->setObjectName(QStringLiteral("btn_quality"));
    b->setFixedSize(30, 30);
    QFont font(QStringLiteral("Arial"));
    font.setPixelSize(17);
    font.setBold(true);
    b->setFont(font);
    b->setText(QStringLiteral("σ"));
    m_button = b;
    update_button();
    connect(b, &QPushButton::clicked, this, [this] { set_pane_shown(!m_pane_wanted); });
    return b;
}

void view_quality_tools::update_button()
{
    if (!m_button)
        return;
    // Lit like the other toggles of the bar while the pane shows.
    const QString text_colour = m_pane_wanted ? QStringLiteral("rgb(255,210,0)")
                                              : QStringLiteral("rgb(255,255,255)");
    m_button->setStyleSheet(QStringLiteral("QPushButton{border:0px;color:%1;"
                                           "background-color:rgb(94,94,94);}"
                                           "QPushButton:hover{background-color:rgb(120,120,120);}")
                                .arg(text_colour));
    m_button->setToolTip(m_pane_wanted ? tr("hide depth quality") : tr("depth quality"));
}
