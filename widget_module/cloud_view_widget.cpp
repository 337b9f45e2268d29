#include "cloud_view_widget.h"

#include <QCloseEvent>
#include <QElapsedTimer>
#include <QIcon>
#include <QImage>
#include <QMouseEvent>
#include <QPainter>
#include <QTimerEvent>
#include <algorithm>

#include <pcl/point_types.h>
#include <pcl/visualization/pcl_visualizer.h>
#include <vtkActor.h>
#include <vtkGenericOpenGLRenderWindow.h>
#include <vtkMapper.h>
#include <vtkRenderWindowInteractor.h>
#include <vtkRenderer.h>
#include <vtkSmartPointer.h>

#include "depth_scale_bar.h"
#include "view_bar_fit.h"
#include "view_cloud_polydata.h"
#include "view_common.h"
#include "view_control_bar.h"
#include "view_stall_notice.h"
#include "view_depth_probe.h"
#include "view_geometry.h"
#include "view_quality_tools.h"
#include "view_shared_frames.h"
#include "zavire/frame_data.h"

cloud_view_widget::cloud_view_widget(int width, int height, QWidget* parent)
    : QWidget(parent), m_image_width(width), m_image_height(height)
{
    setupUi(this);
    widget->raise();
    widget_time->raise();
    widget_title->raise();
    widget_view->setCurrentWidget(page_2d);

    m_controls = new view_control_bar(view_control_bar::parts_of(this), "cloud_view",
                                      QLatin1Char('x'), this);
    // Each page has its own pause; the bar shows the one of the page on screen.
    connect(m_controls, &view_control_bar::sig_pause_toggled, this,
            [this](bool paused) { (showing_2d() ? m_paused_2d : m_paused_3d) = paused; });
    connect(m_controls, &view_control_bar::sig_expand_toggled, this,
            &cloud_view_widget::sig_expend_view);

    create_visualizer();
    // A zero timer fires once the events already waiting (mouse input among
    // them) have been handled.
    m_draw_timer.setSingleShot(true);
    m_draw_timer.setInterval(0);
    connect(&m_draw_timer, &QTimer::timeout, this, &cloud_view_widget::draw_newest_cloud);
    // A picture left standing (paused, camera stopped, drag ended) is redrawn
    // in full detail once no draw has come for a while.
    m_detail_timer.setSingleShot(true);
    m_detail_timer.setInterval(200);
    connect(&m_detail_timer, &QTimer::timeout, this, &cloud_view_widget::draw_full_detail);

    btn_relevance->setIcon(view_icon("inlink.png"));
    btn_3d_picture->setIcon(view_icon("3d.png"));
    btn_3d->setIcon(view_icon("3d_off.png"));
    btn_2d->setIcon(view_icon("2d_on.png"));
    btn_color_setting->setIcon(view_icon("color.png"));
    btn_see->setIcon(view_icon("see.png"));
    btn_photo->setIcon(view_icon("save.png"));
    connect(btn_3d, &QPushButton::clicked, this, &cloud_view_widget::on_btn_3d);
    connect(btn_2d, &QPushButton::clicked, this, &cloud_view_widget::on_btn_2d);
    connect(btn_photo, &QPushButton::clicked, this, &cloud_view_widget::on_btn_photo);
    connect(btn_color_setting, &QPushButton::clicked, this,
            &cloud_view_widget::on_btn_color_setting);
    connect(btn_see, &QPushButton::clicked, this, &cloud_view_widget::on_btn_see);
    connect(btn_relevance, &QPushButton::clicked, this, &cloud_view_widget::on_btn_relevance);
    // The close event emits sig_exit() as well, so a click reports the exit
    // twice; the main window's exit slot tolerates that.
    connect(btn_close, &QPushButton::clicked, this, &cloud_view_widget::sig_exit);
    connect(btn_close, &QPushButton::clicked, this, &QWidget::close);

    widget_location->hide();
    label->hide();
    btn_3d_picture->hide();
    btn_3d_picture->setEnabled(false);
    btn_relevance->hide();
    btn_relevance->setEnabled(false);
    btn_color_setting->hide();
    setMouseTracking(true);
    page_2d->setMouseTracking(true);
    widget_view->setMouseTracking(true);
    widget_view->installEventFilter(this);
    page_2d->installEventFilter(this);
    widget_cloud->installEventFilter(this);

    const cv::Mat bar = view_color_bar_image();
    if (!bar.empty()) {
        const QImage image(bar.data, bar.cols, bar.rows, static_cast<int>(bar.step),
                           QImage::Format_RGB888);
        // Rescaled from the source on every resize, so repeated resizes do not
        // blur the bar.
        m_color_bar_source = QPixmap::fromImage(image);
        m_color_bar = m_color_bar_source.scaled(label->size(), Qt::IgnoreAspectRatio,
                                                Qt::SmoothTransformation);
        label->setPixmap(m_color_bar);
    }
    // The bar with a scale stands in for the plain one (kept hidden in the
    // form); btn_see shows and hides it as it did the plain bar.
    m_scale_bar = new depth_scale_bar(page_2d);
    m_scale_bar->setObjectName(QStringLiteral("depth_scale_bar"));
    if (!bar.empty())
        m_scale_bar->set_colour_bar(QImage(bar.data, bar.cols, bar.rows, static_cast<int>(bar.step),
                                           QImage::Format_RGB888)
                                        .copy());
    m_scale_bar->hide();

    m_quality = new view_quality_tools(page_2d);
    btn_quality = m_quality->make_button(widget_btns);
    m_quality->set_escape_scope(this);
    // In a small grid cell the pane would cover the image: the view expands
    // over the view area, as its expand button does (restore gives it back).
    connect(m_quality, &view_quality_tools::sig_needs_room, this, [this] {
        if (!m_controls->expanded() && parentWidget() != nullptr)
            on_btn_expend();
    });
    // The measurement box and the bar stay above the region overlay.
    widget_location->raise();
    m_scale_bar->raise();

    m_controls->set_resolution(width, height);
    apply_texts();
}

cloud_view_widget::~cloud_view_widget()
{
    if (m_viewer) {
        m_viewer->removeAllPointClouds(0);
        m_viewer->removeCoordinateSystem("reference", 0);
        m_viewer->removeAllShapes(0);
        // The visualiser's interaction style and the widget's interactor refer
        // to each other; detach the style so both can be freed.
        if (vtkRenderWindowInteractor* interactor = widget_cloud->interactor())
            interactor->SetInteractorStyle(nullptr);
        m_viewer.reset();
    }
}

void cloud_view_widget::create_visualizer()
{
    auto renderer = vtkSmartPointer<vtkRenderer>::New();
    auto window = vtkSmartPointer<vtkGenericOpenGLRenderWindow>::New();
    window->AddRenderer(renderer);
    // No interactor of its own: the Qt widget supplies one, so mouse rotation,
    // zoom and pan arrive through Qt events.
    m_viewer = std::make_shared<pcl::visualization::PCLVisualizer>(renderer, window, "m_viewer",
                                                                   false);
    m_viewer->setBackgroundColor(0, 0, 0);
    // The visualiser owns the actor "cloud"; its input is our own poly data,
    // refilled in place per frame (the visualiser's own update path casts the
    // actor's mapper to a type it is not).
    m_cloud_data = std::make_unique<view_cloud_polydata>();
    view_with_shared_cloud([this](const view_cloud_ptr& shared, const double*) {
        const auto cloud =
            shared ? shared : std::make_shared<const pcl::PointCloud<pcl::PointXYZRGB>>();
        pcl::visualization::PointCloudColorHandlerRGBField<pcl::PointXYZRGB> rgb(cloud);
        m_viewer->addPointCloud<pcl::PointXYZRGB>(cloud, rgb, "cloud");
        m_cloud_data->assign(*cloud);
    });
    const auto actors = m_viewer->getCloudActorMap();
    const auto it = actors->find("cloud");
    if (it != actors->end() && it->second.actor != nullptr) {
        vtkMapper* mapper = it->second.actor->GetMapper();
        mapper->SetInputDataObject(0, m_cloud_data->polydata());
        mapper->SetScalarModeToUsePointData();
        mapper->SetColorModeToDefault();
        mapper->ScalarVisibilityOn();
    }

    QPalette black = widget_cloud->palette();
    black.setBrush(QPalette::All, QPalette::Window, QBrush(Qt::black, Qt::SolidPattern));
    widget_cloud->setPalette(black);
    widget_cloud->setAutoFillBackground(true);
    widget_cloud->setRenderWindow(m_viewer->getRenderWindow());
    m_viewer->setupInteractor(widget_cloud->interactor(), widget_cloud->renderWindow());
    // Multisampling costs a software renderer two to three times per point.
    widget_cloud->renderWindow()->SetMultiSamples(0);
    widget_cloud->update();
    m_viewer->setShowFPS(false);
}

void cloud_view_widget::apply_texts()
{
    view_set_small_font({label_location, label_location_content, label_distance,
                         label_distance_content, label_stddev, label_stddev_content});
    label_location->setText(QCoreApplication::translate("cloud_view", "location="));
    label_distance->setText(QCoreApplication::translate("cloud_view", "center="));
    label_stddev->setText(QCoreApplication::translate("cloud_view", "stddev="));
    view_fit_measure_box(widget_location, {label_location, label_distance, label_stddev},
                         {label_location_content, label_distance_content, label_stddev_content});
    btn_relevance->setToolTip(
        QCoreApplication::translate("cloud_view", "relevance rgb module operate"));
    btn_3d_picture->setToolTip(QCoreApplication::translate("cloud_view", "turn to RGBD module"));
    btn_3d->setToolTip(QCoreApplication::translate("cloud_view", "display point cloud"));
    btn_2d->setToolTip(QCoreApplication::translate("cloud_view", "display depth chart"));
    btn_color_setting->setToolTip(
        QCoreApplication::translate("cloud_view", "module parameter setting"));
    btn_see->setToolTip(QCoreApplication::translate("cloud_view", "color bar"));
    btn_photo->setToolTip(QCoreApplication::translate("cloud_view", "save picture"));
    btn_close->setToolTip(QCoreApplication::translate("cloud_view", "exit"));
}

bool cloud_view_widget::showing_2d() const { return widget_view->currentWidget() == page_2d; }

void cloud_view_widget::set_expend(bool bExpend)
{
    m_controls->set_expanded(bExpend);
    emit sig_expend_view(bExpend);
}

void cloud_view_widget::set_rgbd_mode(bool rgbd)
{
    label_title->setText(rgbd ? QStringLiteral("RGBD") : QStringLiteral("Depth"));
    btn_close->setVisible(!rgbd);
    fit_bars();
    label_title->repaint();
}

void cloud_view_widget::set_save_enabled(bool enabled) { btn_photo->setEnabled(enabled); }

void cloud_view_widget::on_btn_2d()
{
    if (showing_2d())
        return;
    btn_2d->setIcon(view_icon("2d_on.png"));
    btn_3d->setIcon(view_icon("3d_off.png"));
    widget_view->setCurrentWidget(page_2d);
    m_controls->hide_info();
    btn_see->setEnabled(true);
    btn_quality->setEnabled(true);
    m_quality->set_page_shown(true);
    emit sig_change_mode(0);
    m_controls->set_paused(m_paused_2d);
    page_2d->resize(width(), height() - widget_title->height());
}

void cloud_view_widget::on_btn_3d()
{
    if (!showing_2d())
        return;
    btn_2d->setIcon(view_icon("2d_off.png"));
    btn_3d->setIcon(view_icon("3d_on.png"));
    widget_view->setCurrentWidget(page_3d);
    m_controls->hide_info();
    widget_location->hide();
    label->hide();
    m_scale_bar->hide();
    btn_see->setIcon(view_icon("see.png"));
    btn_see->setEnabled(false);
    m_quality->set_page_shown(false);
    btn_quality->setEnabled(false);
    m_controls->set_paused(m_paused_3d);
    emit sig_change_mode(1);
}

void cloud_view_widget::on_btn_start() { m_controls->toggle_pause(); }

void cloud_view_widget::on_btn_info() { m_controls->toggle_info(); }

void cloud_view_widget::on_btn_photo() { emit sig_save_tof(); }

void cloud_view_widget::on_btn_color_setting() { }

void cloud_view_widget::on_btn_see()
{
    if (m_scale_bar->isVisible()) {
        m_scale_bar->hide();
        btn_see->setIcon(view_icon("see.png"));
    } else {
        m_scale_bar->show();
        m_scale_bar->raise();
        btn_see->setIcon(view_icon("see_on.png"));
    }
}

void cloud_view_widget::set_distance_range(int near_mm, int far_mm)
{
    m_scale_bar->set_range(near_mm, far_mm);
}

void cloud_view_widget::on_btn_expend() { m_controls->toggle_expand(); }

void cloud_view_widget::on_btn_relevance()
{
    btn_relevance->setIcon(view_icon(m_relevance ? "inlink.png" : "unlink.png"));
    m_relevance = !m_relevance;
}

void cloud_view_widget::resize_widget(bool is_two_module, bool user_expend)
{
    if (parentWidget() != nullptr)
        resize(parentWidget()->size());
    if (user_expend)
        return;
    if (!is_two_module) {
        btn_relevance->setEnabled(false);
        m_relevance = false;
        btn_relevance->setIcon(view_icon("inlink.png"));
    } else {
        btn_relevance->setEnabled(true);
    }
}

void cloud_view_widget::slot_resolution_change(int pixel_width, int pixel_height)
{
    m_image_width = pixel_width;
    m_image_height = pixel_height;
    m_controls->set_resolution(pixel_width, pixel_height);
    fit_bars();
    fit_quality_tools();
}

void cloud_view_widget::slot_show_depth()
{
    if (m_stall)
        m_stall->frame_arrived();
    m_controls->stamp_time();
    if (m_paused_2d)
        return;
    frame_data::depth_frame_facts facts;
    view_copy_depth_images(&m_depth_color, &m_depth_raw, &facts);
    // IR of the same frame set (the driver publishes it first); copied only
    // while the quality tools measure.
    cv::Mat ir;
    if (m_quality->in_use())
        view_copy_raw_ir(&ir);
    if (ir.size() != m_depth_raw.size())
        ir.release();
    m_quality->take_frame(m_depth_raw, ir, facts);
    update();
    update_point_info();
    m_controls->count_frame();
}

void cloud_view_widget::update_point_info()
{
    if (widget_location->isHidden())
        return;
    QPoint pixel;
    if (!view_area_to_image(m_click_point, widget_view->size(),
                            QSize(m_image_width, m_image_height), &pixel))
        return;
    const view_probe_texts texts =
        view_probe_depth(pixel, m_depth_color, m_depth_raw, &m_stat_pixel, &m_stat_samples,
                         view_window_policy::drop_oldest);
    label_location_content->setText(texts.location);
    if (texts.distance)
        label_distance_content->setText(*texts.distance);
    if (texts.stddev)
        label_stddev_content->setText(*texts.stddev);
}

void cloud_view_widget::show_show_point_clode()
{
    if (m_stall)
        m_stall->frame_arrived();
    if (m_paused_3d || !widget_cloud->isVisible())
        return;
    // Until the camera has its pose, each frame's cloud is taken at once and
    // the pose applied to it: resetting the camera needs the cloud's bounds
    // (its clipping range comes from them).
    if (m_camera_pending) {
        view_with_shared_cloud([this](const view_cloud_ptr& cloud, const double* pose) {
            if (cloud)
                m_cloud_data->assign(*cloud);
            bool any = false;
            for (int i = 0; i < 9; ++i)
                any = any || pose[i] != 0.0;
            if (!any)
                return;
            m_camera_pending = false;
            m_viewer->resetCamera();
            m_viewer->setCameraPosition(pose[0], pose[1], pose[2], pose[3], pose[4], pose[5], pose[6],
                                        pose[7], pose[8], 0);
        });
    }
    // A software renderer may need longer per cloud than the camera takes per
    // frame: a frame that comes while a draw is due is dropped (the draw takes
    // the newest cloud), so draws never queue up behind each other and the
    // mouse is answered between two draws.
    if (m_draw_timer.isActive() || m_interacting) {
        ++m_frames_dropped;
        return;
    }
    m_draw_timer.start();
}

void cloud_view_widget::draw_newest_cloud()
{
    if (m_paused_3d || !widget_cloud->isVisible() || m_interacting)
        return;
    // Only the copy into the VTK arrays holds the lock; the acquisition thread
    // never waits for a draw.
    view_with_shared_cloud([this](const view_cloud_ptr& cloud, const double*) {
        if (cloud)
            m_cloud_data->assign(*cloud);
    });
    // The full cloud is drawn while it fits the budget. Once coarse, the full
    // draw is estimated at four times the coarse one (a quarter of the points)
    // and comes back when that fits.
    const bool coarse = m_cloud_data->coarse() ? m_coarse_ms * 4.0 > m_draw_budget_ms
                                               : m_full_ms > m_draw_budget_ms;
    m_cloud_data->set_coarse(coarse);
    render_cloud();
    ++m_frames_drawn;
    m_controls->count_frame();
}

void cloud_view_widget::render_cloud()
{
    QElapsedTimer clock;
    clock.start();
    widget_cloud->renderWindow()->Render();
    const double ms = static_cast<double>(clock.nsecsElapsed()) / 1e6;
    (m_cloud_data->coarse() ? m_coarse_ms : m_full_ms) = ms;
    if (m_cloud_data->coarse())
        m_detail_timer.start();
    else
        m_detail_timer.stop();
}

void cloud_view_widget::draw_full_detail()
{
    if (!m_cloud_data->coarse() || m_interacting)
        return;
    if (!widget_cloud->isVisible()) {
        // Shown again later, the page draws the full picture.
        m_cloud_data->set_coarse(false);
        return;
    }
    m_cloud_data->set_coarse(false);
    render_cloud();
}

long long cloud_view_widget::points_drawn() const { return m_cloud_data->drawn_count(); }

void cloud_view_widget::OnSlotRGBDClickPointSync(QPoint ptRGBDSync)
{
    QPoint p;
    if (!view_image_to_area(ptRGBDSync, widget_view->size(),
                            QSize(m_image_width, m_image_height), &p))
        return;
    m_sync_point = QPoint(p.x(), p.y() + widget_title->height());
    update();
}

bool cloud_view_widget::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == widget_cloud) {
        // While a button is held the interactor redraws on every move; drawing
        // the stream as well would halve the rate the view follows the mouse.
        if (event->type() == QEvent::MouseButtonPress) {
            m_interacting = true;
            // The view follows the drag at the coarse level when a full draw
            // does not fit the budget.
            if (m_full_ms > m_draw_budget_ms)
                m_cloud_data->set_coarse(true);
            m_detail_timer.stop();
        } else if (event->type() == QEvent::MouseButtonRelease) {
            m_interacting = static_cast<QMouseEvent*>(event)->buttons() != Qt::NoButton;
            if (!m_interacting) {
                if (m_cloud_data->coarse())
                    m_detail_timer.start();
                if (!m_draw_timer.isActive())
                    m_draw_timer.start();
            }
        }
    }
    return QWidget::eventFilter(watched, event);
}

void cloud_view_widget::timerEvent(QTimerEvent* event)
{
    const int id = event->timerId();
    if (id != 0 && id == m_show_timer_id) {
        killTimer(m_show_timer_id);
        m_show_timer_id = 0;
        widget_cloud->show();
    }
}

void cloud_view_widget::mousePressEvent(QMouseEvent* event)
{
    if (!showing_2d())
        return;
    const int x = event->pos().x();
    const int y = event->pos().y();
    const int title = widget_title->height();
    if (y >= widget->y() || y < title) {
        widget_location->hide();
        m_quality->clear_probe_pixel();
        return;
    }
    m_click_point = QPoint(x, y - title);
    widget_location->move(view_place_box(m_click_point, widget_location->size(),
                                         widget_view->width(),
                                         widget_view->height() - widget->height()));
    widget_location->show();
    QPoint pixel;
    if (view_area_to_image(m_click_point, widget_view->size(),
                           QSize(m_image_width, m_image_height), &pixel)) {
        // The box shows the frame on screen at once, the paused one included.
        const view_probe_texts texts =
            view_probe_peek(pixel, m_depth_color, m_depth_raw, m_stat_pixel);
        label_location_content->setText(texts.location);
        if (texts.distance)
            label_distance_content->setText(*texts.distance);
        if (texts.stddev)
            label_stddev_content->setText(*texts.stddev);
        m_quality->set_probe_pixel(pixel);
        emit sig_rgbd_click_point_sync(pixel);
    }
}

void cloud_view_widget::mouseMoveEvent(QMouseEvent*) { }

void cloud_view_widget::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    const QRect target = view_letterbox(widget_view->size(), QSize(m_image_width, m_image_height),
                                        widget_title->height());
    if (!m_depth_color.empty() && m_depth_color.total() != 0 && showing_2d()) {
        const QImage image(m_depth_color.data, m_depth_color.cols, m_depth_color.rows,
                           static_cast<int>(m_depth_color.step), QImage::Format_RGB888);
        painter.drawImage(target, image);
        painter.setPen(QPen(Qt::yellow, 1, Qt::SolidLine, Qt::SquareCap, Qt::BevelJoin));
        painter.drawEllipse(m_sync_point, 2, 2);
    } else {
        painter.fillRect(target, Qt::black);
    }
}

void cloud_view_widget::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    const int wv = width();
    const int hv = height();
    const int title = widget_title->height();
    widget_title->resize(wv, title);
    widget_view->setGeometry(0, widget_title->geometry().bottom(), wv,
                             hv - widget->height() - title);
    widget_cloud->setGeometry(0, 0, wv, hv - title);
    page_2d->resize(wv, hv - title);
    page_3d->resize(wv, hv - title);
    widget->setGeometry(widget->x(), hv - widget->height(), wv, widget->height());
    widget_time->move(0, widget->y() - widget_time->height());
    // The bar lives in page_2d, whose origin is already the top of the image
    // area: a 10 px margin above and below keeps it wholly on screen.
    label->resize(label->width(), widget_view->height() - 20);
    label->move(page_2d->width() - label->width(), 10);
    if (!m_color_bar_source.isNull()) {
        m_color_bar = m_color_bar_source.scaled(label->size(), Qt::IgnoreAspectRatio,
                                                Qt::SmoothTransformation);
        label->setPixmap(m_color_bar);
    }
    fit_bars();
    fit_quality_tools();
}

void cloud_view_widget::fit_quality_tools()
{
    // page_2d's origin is the top of the image area; the image is drawn there
    // as paintEvent draws it, below the title.
    const QSize area = widget_view->size();
    const QSize image(m_image_width, m_image_height);
    m_quality->set_geometry(image, view_letterbox(area, image, 0), QRect(QPoint(0, 0), area));
    const int bar_width = m_scale_bar->sizeHint().width();
    m_scale_bar->setGeometry(area.width() - bar_width - 2, 4, bar_width,
                             std::max(m_scale_bar->minimumSizeHint().height(), area.height() - 8));
    m_quality->set_pane_right_margin(bar_width + 2);
}

void cloud_view_widget::fit_bars()
{
    // Buttons stay right-aligned and all reachable, values all readable,
    // however narrow the grid makes the view.
    view_pack_bar_buttons(widget_btns,
                          {btn_relevance, btn_3d_picture, btn_3d, btn_2d, btn_color_setting, btn_see,
                           btn_quality, btn_start, btn_photo, btn_info, btn_expend, btn_close},
                          width());
    m_controls->fit_strip(width());
}

void cloud_view_widget::closeEvent(QCloseEvent* event)
{
    emit sig_exit();
    event->accept();
}

void cloud_view_widget::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    widget_cloud->hide();
    if (m_show_timer_id != 0)
        killTimer(m_show_timer_id);
    m_show_timer_id = startTimer(1);
}

void cloud_view_widget::hideEvent(QHideEvent*) { }

void cloud_view_widget::watch_for_stalls()
{
    if (!m_stall)
        m_stall = new view_stall_notice(this, widget_view);
}
