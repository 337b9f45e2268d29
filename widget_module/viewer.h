#pragma once

#include <QElapsedTimer>
#include <QPixmap>
#include <QPoint>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <memory>

#include "parent_widget.h"
#include "ui_zavire_class.h"
#include "zavire/tof_param_info.h"

class bubble_widget;
class playback_bar;
class cloud_view_widget;
class driver_operate;
class filter_mode_control;
class parameter_setting_widget;
class rgb_view_widget;
class save_path_widget;
class WidgetIR;
class QIntValidator;
class QLabel;
class QTimer;
struct save_settings;

namespace pvx3 {
class context;
}
namespace playback {
class recording_camera;
}

// The application's main window: product information, the module list and
// switches, the save and parameter panels in a collapsible left panel, and
// the camera views in the view area. Owns driver_operate while a module is
// open. GUI thread only.
class viewer : public parent_widget, public Ui_zavire_class {
    Q_OBJECT
public:
    explicit viewer(QWidget* parent = nullptr);
    // Ends the process at once with status 0: all orderly shutdown happens
    // when the window is closed.
    ~viewer() override;

    // Tests destroy windows without ending the process.
    static void set_exit_on_destroy(bool exit_on_destroy);

    // Read access for the tests and tools.
    driver_operate* current_driver() const { return driver; }
    cloud_view_widget* depth_view() const { return tof_view; }
    rgb_view_widget* colour_view() const { return rgb_view; }
    WidgetIR* infrared_view() const { return ir_view; }
    bubble_widget* message_bubble() const { return bubble; }
    save_path_widget* tof_save_panel() const { return save_panel; }
    parameter_setting_widget* parameter_panel() const { return param_panel; }
    filter_mode_control* filter_mode() const { return m_filter_mode; }
    const tof_param_info& depth_parameters() const { return tof_info; }
    bool rgb_module_is_on() const { return rgb_module_on; }
    // The notice over the view area when no view can show frames.
    QLabel* view_notice() const { return m_view_notice; }

    // The SDK context behind the module list and the acquisition object,
    // made at first use (the SDK reads its configuration then). One context
    // for both, so that the list shows what the camera really is.
    pvx3::context* sdk_context();

    // Recording (viewer_record.cpp) and playback (viewer_playback.cpp).
    QPushButton* record_button() const { return m_btn_record; }
    QPushButton* view_record_button() const { return m_view_record_btn; }
    QLabel* record_status() const { return m_record_status; }
    QPushButton* open_recording_button() const { return m_btn_open_recording; }
    bool is_recording() const;
    // Adds a recording file to the camera list as "Recording: NAME"; false
    // (with a message) when it is not a readable recording.
    bool add_recording(const QString& path);
    // Adds it and opens it at once, as a click on its row would.
    bool open_recording_file(const QString& path);
    // The recording open as the camera, null while a camera (or nothing) is.
    playback::recording_camera* playback_camera() const { return m_playback.get(); }
    playback_bar* timeline() const { return m_timeline; }
    // The depth view's "Recorded / Re-processed" switch (null unless a
    // recording with raw phase frames plays) and its recorded-value line.
    QPushButton* depth_source_button() const { return m_btn_depth_source; }
    QLabel* recorded_value_label() const { return m_recorded_value; }

signals:
    void sig_resolution_change(int pixel_width, int pixel_height);
    void sig_change_mode(int mode);
    void sig_rgb_widget_resize();
    void sig_ir_widget_resize();
    void sig_change_distance_range(int min, int max);
    void sig_change_stram(int width, int height, int type);
    void sig_rgbd_rgb_click_point_sync(QPoint ptRGBDSync);
    void sig_rgbd_depth_click_point_sync(QPoint ptRGBDSync);
    void sig_save_rgb(int nFrame, QString strFilePath);
    void sig_save_tof(int nFrame, bool bDepth, bool bPointCloud, bool bIR, QString strFilePath);
    void sig_save_rgbd(int nFrame, bool bRGBD, bool bPointCloud, QString strFilePath);

public slots:
    void slot_update_date(QPixmap pixmap);
    void slot_move(int x, int y);
    void slot_stop_start(bool stop);
    void slot_rgb_view_widget_exit();
    void slot_ir_view_widget_exit();
    void slot_btn_rgb_switch();
    void slot_btn_tof_switch();
    void slot_btn_rgbd_switch();
    void slot_tof_view_widget_exit();
    void slot_drive_info();
    void btn_chose_module_clicked();
    void btn_info_clicked();
    void slos_expend_view(bool bExpend);
    void on_btn_left_expend();
    void slot_fail_open_drive();
    void on_btn_setting_clicked();
    void check_fillter_change(int state);
    void check_flip_ver_change(int state);
    void check_flip_hor_change(int state);
    void slot_open_faild();
    void on_btn_tof_expend_clicked();
    void on_btn_tof_save_set_expend_clicked();
    void on_btn_tof_parameter_setting_expend_clicked();
    void on_btn_tof_filter_expend_clicked();
    void slot_resolution_change(int pixel_width, int pixel_height);
    void on_btn_rgbexpend_clicked();
    void on_btn_rgb_save_set_expend_clicked();
    void on_btn_rgb_param_setting_expend_clicked();
    void on_btn_select_clicked();
    void on_btn_rgbd_select_clicked();
    void rgb_frame_change(QString text);
    void on_btn_rgbd_expend_clicked();
    void on_btn_rgbd_save_set_expend_clicked();
    void OnBtnSaveClicked();
    void OnTOFWidgetSaveBtnClicked();
    void OnRGBWidgetSaveBtnClicked();
    void OnIRWidgetSaveBtnClicked();
    void toggle_recording();
    void open_recording_clicked();

private slots:
    void slot_show_rgb_view();
    void solt_show_tof_view();
    void slot_table_select(int row, int column);
    void on_btn_close_module();
    void slot_device_info(QString current_module, QString product_number, QString version,
                          QString strRecommendVersion, bool has_tof, bool has_rgb);
    void slot_finish_change_frame(bool success, int pixel_width, int pixel_height, int type);
    void OnSlotResetResolution();
    void OnSlotRGBDClickPointSync(QPoint ptRGBDSync);
    void slot_stream_failed(int module);
    void refresh_module_list();

public:
    // Layouts, public so that tests can run them on a known window size.
    void layout_view_area(bool user_expend);
    void layout_left_panel();

protected:
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // --- construction and teardown (viewer.cpp)
    void apply_texts_and_fonts();
    void relayout_window();
    void teardown(const char* function);
    void place_view_notice();

    // --- layouts and expanders (viewer_layout.cpp)
    void arrange_view_grid(int columns, int aw, int ah, const QVector<QWidget*>& containers);
    void toggle_section(QWidget* container, QPushButton* button, void (viewer::*collapse)());
    void collapse_tof_sections();
    void collapse_rgb_sections();
    void collapse_rgbd_sections();

    // --- module control (viewer_module.cpp)
    void open_module(pvx3::context* context = nullptr);
    void ensure_parameter_panel();
    void refresh_tof_param_info();
    void lock_rgb_controls(bool locked);
    void update_save_button();
    void unexpand_views(std::initializer_list<QWidget*> candidates);
    bool is_expanded(const QWidget* view) const;
    void switch_rgbd_off();
    // Fills the module list from the SDK; posts the no-camera message when
    // there is none and `tell_none` is set. Returns whether a camera is.
    bool list_modules(bool tell_none);
    bool save_needs_stream(bool tof, bool rgb);

    // --- saving (viewer_save.cpp)
    bool validate_rgb_save(save_settings& settings);
    bool validate_rgbd_save(save_settings& settings);
    void start_tof_save();
    void start_rgbd_save();
    void choose_save_folder(QLineEdit* field, void (*store)(const QString&));

    // --- recording (viewer_record.cpp)
    void create_record_controls();
    void place_view_record_button();
    void update_record_status();
    void show_record_state(bool recording);
    // Finishes a running recording and tells the user; `problem` is why the
    // writer stopped by itself (empty when the user or a close stops it).
    void finish_recording(const QString& problem = QString());

    // --- playback (viewer_playback.cpp)
    void create_playback_controls();
    void open_recording(const QString& path);
    void apply_playback_locks();
    void after_playback_closed();
    void place_timeline();
    QString recording_row_name(const QString& path) const;
    void add_depth_source_switch();
    void set_reprocessing(bool on);
    void show_recorded_value();

    driver_operate* driver = nullptr;
    rgb_view_widget* rgb_view = nullptr;
    cloud_view_widget* tof_view = nullptr;
    WidgetIR* ir_view = nullptr;
    bool rgb_module_on = false;
    tof_param_info rgb_info;
    bubble_widget* bubble = nullptr;
    save_path_widget* save_panel = nullptr;
    parameter_setting_widget* param_panel = nullptr;
    tof_param_info tof_info;

    QIntValidator* frame_validator = nullptr;
    pvx3::context* m_sdk_context = nullptr;
    // Polls the SDK while the user waits for a camera (after "+" found none,
    // or after the camera was lost), so the list follows what is connected.
    QTimer* m_list_timer = nullptr;
    bool m_list_has_camera = false;
    QLabel* m_view_notice = nullptr;
    filter_mode_control* m_filter_mode = nullptr;
    // The view the user expanded to fill the view area (null when none);
    // tracked from the views' sig_expend_view.
    QPointer<QWidget> m_expanded_view;

    QPushButton* m_btn_record = nullptr;
    QPointer<QPushButton> m_view_record_btn;
    QLabel* m_record_status = nullptr;
    QTimer* m_record_timer = nullptr;
    QElapsedTimer m_record_clock;
    QPushButton* m_btn_open_recording = nullptr;
    QStringList m_recording_paths;  // listed in the module list
    std::shared_ptr<playback::recording_camera> m_playback;
    playback_bar* m_timeline = nullptr;
    QPointer<QPushButton> m_btn_depth_source;
    QPointer<QLabel> m_recorded_value;
};
