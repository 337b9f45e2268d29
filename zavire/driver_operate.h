#pragma once

// The acquisition object: owns the camera connection through the camera SDK,
// runs the sample loop on its own thread (run()), converts frames into the
// process-wide frame data (frame_data.h), applies device parameters and saves
// frames. The object lives on the GUI thread: its constructor, public methods
// and slots run there; its signals are emitted from the acquisition thread
// (except sig_change_integral_time_finish) and so reach GUI receivers queued.

#include "stream_format.h"
#include "tof_param_info.h"

#include "app/task_observer.h"

#include <QList>
#include <QMap>
#include <QPixmap>
#include <QString>
#include <QThread>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <list>
#include <memory>
#include <mutex>
#include <utility>

struct save_task;
class save_pool;
struct driver_sdk;
struct batch_snapshot;

class driver_operate : public QThread, public ITaskObserver
{
    Q_OBJECT
public:
    driver_operate();
    ~driver_operate() override;

    // Stream control, GUI thread. Each queues a command for the sample loop
    // (a newer command overwrites an unconsumed one) and configures the
    // streams; none wakes the loop. All return true.
    bool start_tof();
    bool stop_tof();
    bool start_rgb();
    bool stop_rgb();
    bool start_rgbd();
    bool stop_rgbd();
    // Releases the loop from its wait after device initialisation.
    bool wake();
    // Lets a pending command run (at most about 1 s), then asks the loop to
    // end. Follow with QThread::wait(); frames already captured for a save
    // batch are written before the thread ends.
    bool stop();

    tof_param_info get_depth_resolutions();
    QList<stream_format> get_rgb_formats();

    // Device parameters, GUI thread. Without a camera the getters give zeros
    // and the setters do nothing (result 0).
    int get_integral_time();
    std::pair<int, int> get_integral_time_range();
    std::pair<int, int> get_distance_range(); // (far limit, near limit)
    std::pair<int, int> get_option3_range();
    bool get_filter(bool& on);
    int set_filter(bool on);
    int set_flip_vertical(bool on);
    int set_flip_horizontal(bool on);

    // ITaskObserver: the last frame of a save batch was handled (worker thread).
    void on_task_finished() override;

    // Which module the main window has started; written on the GUI thread,
    // read by the sample loop.
    std::atomic<bool> m_tof_on{false};
    std::atomic<bool> m_rgb_on{false};
    std::atomic<bool> m_rgbd_on{false};

signals:
    void sig_update_date(QPixmap pixmap);
    void sig_update_date_vec();
    void sig_drive_info();
    void sig_fail_open_drive();
    void sig_update_cloud_point_vec();
    void sig_device_info(QString current_module, QString product_number, QString version,
                         QString strRecommendVersion, bool has_tof, bool has_rgb);
    void sig_open_faild();
    void sig_show_rgb(QPixmap pixmap);
    void sig_show_ir(QPixmap pixmap);
    void sig_finish_change_frame(bool success, int pixel_width, int pixel_heigh, int type);
    void sig_change_integral_time_finish(bool success);
    void sig_reset_resolution();

public slots:
    void slot_change_mode(int mode);
    void slot_change_distance_range(int min, int max);
    void slot_change_stram(int width, int height, int type);
    void slot_integral_time(uint16_t integral_time);
    void OnSlotSaveRGBD(int nFrame, bool bRGBD, bool bPointCloud, QString strFilePath);
    void OnSlotSaveTOF(int nFrame, bool bDepth, bool bPointCloud, bool bIR, QString strFilePath);
    void OnSlotSaveRGB(int nFrame, QString strFilePath);

protected:
    void run() override;

private:
    friend struct driver_sdk;

    // --- sample loop (driver_operate.cpp) ---
    bool init_device();
    bool wait_for_wake();
    void run_command(int command);
    void wait_frames_or_interrupt();

    // --- frame conversion (driver_convert.cpp); run on the acquisition thread.
    // The SDK frame types stay out of this header (void* = SDK frame handle).
    bool DealwithDepthData(void* depth_frame, int& width, int& height, bool saving, int number,
                           void* rgb_frame);
    bool DealwithIRData(void* ir_frame, bool saving, int number);
    void DealwithRGBData(void* rgb_frame, bool saving, int& number, bool rgbd);

    // --- saving (driver_save.cpp) ---
    bool check_folder(const QString& folder, bool rgb);
    std::unique_ptr<save_task> make_save_task(int frame_index);

    std::unique_ptr<driver_sdk> m_sdk; // context, device, pipeline, configuration

    std::atomic<bool> m_exit{false};
    std::atomic<int> m_mode{0}; // 0 = 2D page, 1 = 3D page
    bool m_need_open = true;    // acquisition thread only

    // Command lock: guards the pending command, the requested size, every
    // call on the configuration, m_formats and m_param_info.
    std::mutex m_command_lock;
    std::condition_variable m_command_taken;
    int m_pending_command = 0;
    std::atomic<bool> m_command_waiting{false}; // mirrors m_pending_command != 0
    int m_requested_width = 0;
    int m_requested_height = 0;
    QMap<int, QList<stream_format>> m_formats;
    tof_param_info m_param_info;

    // Wake condition: the loop parks here after device initialisation.
    std::mutex m_wake_lock;
    std::condition_variable m_wake_condition;
    bool m_wake_pending = false; // a wake() or stop() not yet consumed
    bool m_parked = false;       // the loop waits on the wake condition

    // Batch lock: guards every save-batch field below. Never held together
    // with another lock of this object.
    std::mutex m_batch_lock;
    int m_depth_frames_left = 0;
    int m_rgb_frames_left = 0;
    bool m_save_depth = false;
    bool m_save_ir = false;
    bool m_save_point_cloud = false;
    QString m_depth_save_dir;
    QString m_rgb_save_dir;
    bool m_depth_dir_writable = false;
    bool m_rgb_dir_writable = false;
    std::list<std::unique_ptr<save_task>> m_pending_saves;
    int m_failed_writes = 0; // files of the current depth batch that could not be written
};
