#include "viewer.h"

#include <QApplication>
#include <algorithm>
#include <QCloseEvent>
#include <QDesktopWidget>
#include <QFile>
#include <QIntValidator>
#include <QListView>
#include <QLabel>
#include <QScreen>
#include <QScrollBar>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <iostream>

#include "app/global_message_module.h"
#include "app/save_settings_store.h"
#include "app/trace.h"
#include "app/user_message.h"
#include "app/window_settings.h"
#include "bubble_widget.h"
#include "cloud_view_widget.h"
#include "filter_mode_control.h"
#include "module_probe.h"
#include "playback_bar.h"
#include "rgb_view_widget.h"
#include "save_path_widget.h"
#include "view_common.h"
#include "viewer_icons.h"
#include "viewer_messages.h"
#include "widget_ir.h"
#include "zavire/driver_operate.h"

namespace {
bool g_exit_on_destroy = true;
const char* const kSource = "widget_module/viewer";
}  // namespace

void viewer::set_exit_on_destroy(bool exit_on_destroy)
{
    g_exit_on_destroy = exit_on_destroy;
}

viewer::viewer(QWidget* parent) : parent_widget(parent)
{
    setupUi(this);
    setAttribute(Qt::WA_QuitOnClose, true);

    connect(btn_switch_tof, &QPushButton::clicked, this, &viewer::slot_btn_tof_switch);
    connect(btn_switch_rgb, &QPushButton::clicked, this, &viewer::slot_btn_rgb_switch);
    connect(btn_rgbd_switch, &QPushButton::clicked, this, &viewer::slot_btn_rgbd_switch);
    connect(btn_chose_module, &QPushButton::clicked, this, &viewer::btn_chose_module_clicked);
    connect(btn_close_module, &QPushButton::clicked, this, &viewer::on_btn_close_module);
    connect(btn_info, &QPushButton::clicked, this, &viewer::btn_info_clicked);
    connect(btn_left_expend, &QPushButton::clicked, this, &viewer::on_btn_left_expend);
    connect(btn_save_picture, &QPushButton::clicked, this, &viewer::OnBtnSaveClicked);
    connect(table_module, &QTableWidget::cellClicked, this, &viewer::slot_table_select);
    connect(check_fillter, &QCheckBox::stateChanged, this, &viewer::check_fillter_change);
    connect(check_flip_ver, &QCheckBox::stateChanged, this, &viewer::check_flip_ver_change);
    connect(check_flip_hor, &QCheckBox::stateChanged, this, &viewer::check_flip_hor_change);
    // The mode beside the filter switch (standard or noise-aware).
    m_filter_mode = new filter_mode_control(check_fillter, combo_filter_mode, this);

    widget_info->hide();
    widget_module->hide();
    table_module->hide();
    table_module->setColumnCount(1);
    table_module->setColumnWidth(0, table_module->width());

    widget_tof->move(widget_switch_info->pos());
    widget_rgb_module->move(widget_switch_info->x(), widget_tof->geometry().bottom() + 1 + 5);
    widget_rgb_module->hide();
    widget_rgb->hide();
    widget_point_cloud->hide();
    widget_ir->hide();

    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        resize(static_cast<int>(area.width() * 0.7), static_cast<int>(area.height() * 0.6));
    }
    // The size, position and maximised state of the last run, when known.
    const QByteArray geometry = load_window_geometry();
    if (!geometry.isEmpty())
        restoreGeometry(geometry);

    label_viewer_version_content->setText(QStringLiteral("v") + QCoreApplication::applicationVersion());
    const QString sdk_version = sdk_version_text();
    label_sdk_version_content->setText(sdk_version);

    bubble = new bubble_widget();
    global_message_module::instance()->add_observer(kMessageObserver, bubble,
                                                    SLOT(slot_show_message(const QStringList&)));

    save_panel = new save_path_widget(widget_tof_save_contianer);
    widget_tof_save_contianer->resize(widget_tof_save_contianer->width(), save_panel->height());
    widget_tof_save_contianer->hide();
    widget_parameter_setting_contianer->hide();

    collapse_tof_sections();
    collapse_rgb_sections();
    collapse_rgbd_sections();
    widget_rgb_save_contianer->hide();
    widget_rgb_param_setting_contianer->hide();
    widget_filter_contianer->hide();
    btn_tof_expend->setEnabled(false);
    btn_rgbexpend->setEnabled(false);

    frame_validator = new QIntValidator(1, 30, this);
    line_frame->setValidator(frame_validator);
    widget_switch_info->hide();

    const save_settings stored = load_save_settings();
    const QString app_dir = QCoreApplication::applicationDirPath();
    line_file_path->setText(stored.rgb_file_path.isEmpty() ? app_dir : stored.rgb_file_path);
    line_rgbd_file_path->setText(stored.rgbd_file_path.isEmpty() ? app_dir : stored.rgbd_file_path);
    // A first run saves one frame, so the defaults work as they stand.
    line_frame->setText(QString::number(stored.RGBFrame > 0 ? stored.RGBFrame : 1));
    line_rgbd_frame->setText(QString::number(stored.RGBDFrame > 0 ? stored.RGBDFrame : 1));

    m_list_timer = new QTimer(this);
    m_list_timer->setInterval(1000);
    connect(m_list_timer, &QTimer::timeout, this, &viewer::refresh_module_list);

    m_view_notice = new QLabel(widget_view);
    m_view_notice->setAlignment(Qt::AlignCenter);
    m_view_notice->setWordWrap(true);
    m_view_notice->setStyleSheet(QStringLiteral("color:rgb(255,255,255);background-color:rgb(65,65,65);"
                                                "padding:12px;"));
    m_view_notice->hide();

    combo_resolution->setView(new QListView(combo_resolution));
    btn_more->hide();
    btn_setting->hide();
    btn_save_picture->setEnabled(false);
    btn_save_picture->hide();
    // The save button is disabled while no view streams; a click on it then
    // says what to switch on instead of doing nothing.
    btn_save_picture->installEventFilter(this);

    QFile qss(QStringLiteral(":/zavire/qss/qscroll_bar.qss"));
    if (qss.open(QIODevice::ReadOnly))
        scroll_area_left->verticalScrollBar()->setStyleSheet(QString::fromUtf8(qss.readAll()));

    apply_texts_and_fonts();
    create_record_controls();
    create_playback_controls();

    if (sdk_version != QLatin1String("v0.6.0.3"))
        post_user_message(viewer_text::sdk_mismatch);
}

viewer::~viewer()
{
    if (g_exit_on_destroy) {
        // Nothing after the window may run: no destructors, no exit handlers.
        std::cout.flush();
        std::fflush(nullptr);
        std::_Exit(0);
    }
    teardown("viewer::~viewer");
    // The bubble has no parent; the bus drops its connection when it goes.
    delete bubble;
}

void viewer::apply_texts_and_fonts()
{
    setWindowTitle(QStringLiteral("Tessivue Viewer"));
    label->setText(tr("Choose Camera"));
    label_current_module->setText(tr("Choose Camera"));
    label_tof->setText(tr("Depth Camera"));
    label_rgb->setText(tr("RGB Camera"));
    label_rgbd->setText(tr("RGBD Fusion"));
    label_pro_name->setText(tr("Product Name:"));
    label_pro_num->setText(tr("Product Number:"));
    label_firmware_version->setText(tr("Firmware Version:"));
    label_viewer_version->setText(tr("QZViewer Version:"));
    label_sdk_version->setText(tr("SDK Version:"));
    label_pro_name_content->setText(QStringLiteral("QZ20"));
    label_tof_save->setText(tr("Save Setting"));
    label_tof_param->setText(tr("Parameter Setting"));
    label_tof_filter->setText(tr("Filter"));
    label_rgb_save->setText(tr("Save Setting"));
    label_rgb_param->setText(tr("Parameter Setting"));
    label_rgbd_save->setText(tr("Save Setting"));
    check_fillter->setText(tr("Open the filter"));
    check_flip_ver->setText(tr("Vertical Flip"));
    check_flip_hor->setText(tr("Horizontal Mirror"));
    check_rgbd_depth->setText(tr("RGBD"));
    check_rgbd_pcd->setText(tr("Point cloud"));
    label_rgb_frame->setText(tr("Frame"));
    label_rgbd_frame->setText(tr("Frame"));
    label_rgb_file_path->setText(tr("File path"));
    label_rgbd_file_path->setText(tr("File path"));
    label_rgb_resolution->setText(tr("Resolution"));
    line_file_path->setPlaceholderText(tr("please select file path"));
    line_rgbd_file_path->setPlaceholderText(tr("please select file path"));

    auto arial = [](int pixels) {
        QFont font(QStringLiteral("Arial"));
        font.setPixelSize(pixels);
        return font;
    };
    label->setFont(arial(19));
    label_current_module->setFont(arial(19));
    for (QLabel* row : {label_tof, label_rgb, label_rgbd})
        row->setFont(arial(16));
    for (QWidget* header : {static_cast<QWidget*>(label_tof_save), static_cast<QWidget*>(label_tof_param),
                            static_cast<QWidget*>(label_tof_filter), static_cast<QWidget*>(label_rgb_save),
                            static_cast<QWidget*>(label_rgb_param), static_cast<QWidget*>(label_rgbd_save),
                            static_cast<QWidget*>(table_module)})
        header->setFont(arial(13));
}

pvx3::context* viewer::sdk_context()
{
    if (!m_sdk_context)
        m_sdk_context = create_sdk_context();
    return m_sdk_context;
}

void viewer::place_view_notice()
{
    const int w = std::min(widget_view->width() - 20, 460);
    m_view_notice->setFixedWidth(std::max(w, 100));
    m_view_notice->adjustSize();
    m_view_notice->move((widget_view->width() - m_view_notice->width()) / 2,
                        (widget_view->height() - m_view_notice->height()) / 2);
}

void viewer::slot_update_date(QPixmap pixmap)
{
    if (rgb_view)
        rgb_view->show_frame(pixmap);
}

void viewer::slot_move(int x, int y)
{
    move(x, y);
}

void viewer::slot_stop_start(bool)
{
    // The views pause themselves; the window has nothing to do.
}

void viewer::on_btn_setting_clicked()
{
    // The settings button is hidden in this design.
}

void viewer::slot_drive_info()
{
    if (rgb_view) {
        rgb_view->set_param_info(rgb_info);
        rgb_view->show();
    }
}

void viewer::btn_info_clicked()
{
    btn_setting->setIcon(view_icon("setting.png"));
    int y = 0;
    if (widget_info->isHidden()) {
        widget_info->show();
        widget_switch_info->show();
        widget_switch_info->resize(widget_switch_info->width(), widget_info->height());
        btn_info->setIcon(shared_icon(viewer_icons::info_shown));
        y = widget_switch_info->y() + widget_switch_info->height();
    } else {
        widget_info->hide();
        widget_switch_info->hide();
        btn_info->setIcon(shared_icon(viewer_icons::info_hidden));
        y = widget_switch_info->y();
    }
    widget_tof->move(widget_switch_info->x(), y);
    widget_rgb_module->move(widget_switch_info->x(), widget_tof->y() + widget_tof->height() + 5);
    layout_left_panel();
}

void viewer::on_btn_left_expend()
{
    if (widget_left->isHidden()) {
        widget_left->show();
        btn_left_expend->setIcon(shared_icon(viewer_icons::left_panel_shown));
    } else {
        widget_left->hide();
        btn_left_expend->setIcon(shared_icon(viewer_icons::left_panel_hidden));
    }
    relayout_window();
}

void viewer::resizeEvent(QResizeEvent* event)
{
    parent_widget::resizeEvent(event);
    relayout_window();
}

void viewer::relayout_window()
{
    label_2->setGeometry(label_2->x(), label_2->y(), label_2->width(), height() - label_2->y());
    widget_useful->resize(width() - 2, height() - 2);

    const int separator_x = widget_left->isHidden() ? widget_left->x()
                                                    : widget_left->x() + widget_left->width();
    label_2->move(separator_x, label_2->y());
    btn_left_expend->move(label_2->x(), (label_2->height() - btn_left_expend->height()) / 2);

    widget_left->resize(widget_left->width(), height() - widget_left->y());
    widget_module->resize(widget_left->width(), widget_left->height() - widget_module->y());
    scroll_area_left->resize(scroll_area_left->width(), widget_module->height());
    scrollAreaWidgetContents->resize(scroll_area_left->width() - 2, scroll_area_left->height() - 2);

    widget_view->setGeometry(label_2->x() + label_2->width(), label_2->y(),
                             width() - label_2->x() - label_2->width(), label_2->height());
    place_timeline();
    layout_view_area(true);
    layout_left_panel();
    place_view_notice();
}

bool viewer::eventFilter(QObject* watched, QEvent* event)
{
    // The bar lays its buttons out on resize; the record button follows them.
    if (tof_view && (watched == tof_view->widget || watched == tof_view->widget_btns) && (event->type() == QEvent::Resize || event->type() == QEvent::Move))
        QTimer::singleShot(0, this, &viewer::place_view_record_button);
    if (watched == btn_save_picture && event->type() == QEvent::MouseButtonRelease && !btn_save_picture->isEnabled() && btn_save_picture->isVisible() && driver)
        OnBtnSaveClicked();
    return parent_widget::eventFilter(watched, event);
}

void viewer::closeEvent(QCloseEvent* event)
{
    store_window_geometry(saveGeometry());
    teardown("viewer::closeEvent");
    event->accept();
}

void viewer::on_btn_close_module()
{
    teardown("viewer::on_btn_close_module");
}

void viewer::teardown(const char* function)
{
    trace(trace_info, QStringLiteral("close module"), kSource, function, __LINE__);
    // The recording is finished before anything stops: nothing recorded is lost.
    finish_recording();
    if (driver) {
        if (driver->m_tof_on)
            driver->stop_tof();
        if (driver->m_rgb_on)
            driver->stop_rgb();
        if (driver->m_rgbd_on)
            driver->stop_rgbd();
    }
    btn_rgbd_switch->setIcon(shared_icon(viewer_icons::switch_off));
    btn_rgbd_expend->setIcon(shared_icon(viewer_icons::section_collapsed));
    widget_module->hide();

    if (tof_view) {
        tof_view->hide();
        widget_point_cloud->hide();
    }
    if (ir_view) {
        ir_view->hide();
        widget_ir->hide();
    }
    if (rgb_view) {
        rgb_view->hide();
        widget_rgb->hide();
    }
    // Each close runs the view's exit slot, which clears the pointer.
    if (tof_view)
        tof_view->close();
    if (ir_view)
        ir_view->close();
    if (rgb_view)
        rgb_view->close();

    if (driver) {
        driver->stop();
        driver->wait();
        driver->deleteLater();
        driver = nullptr;
    }
    after_playback_closed();
    m_list_timer->stop();
}
