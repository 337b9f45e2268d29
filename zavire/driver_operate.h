#pragma once

// The acquisition object: owns the camera connection through the camera SDK,
// runs the sample loop on its own thread (run()), converts frames into the
// process-wide frame data (frame_data.h), applies device parameters and saves
// frames. The object lives on the GUI thread: its constructor, public methods
// and slots run there; its signals are emitted from the acquisition thread
// (except sig_change_integral_time_finish) and so reach GUI receivers queued.

#include "save_task.h"
#include "stream_format.h"
#include "tof_param_info.h"

#include "app/task_observer.h"
#include "quality/camera_rays.h"

#include <recording/writer.h>

#include <QList>
#include <QMap>
#include <QPixmap>
#include <QString>
#include <QThread>

#include <opencv2/core.hpp>
#include <pcl/point_cloud.h>
#include <pcl/point_types.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <list>
#include <memory>
#include <mutex>
#include <optional>
#include <utility>
#include <vector>

namespace pvx3 {
class context;
class device;
class pipeline;
class config;
class frame;
class frameset;
class sensor;
}  // namespace pvx3

struct save_task;
class frame_recorder;
class save_batch;
class save_pool;

class driver_operate : public QThread, public ITaskObserver {
    Q_OBJECT
public:
    // Module numbers of sig_stream_failed.
    enum module_kind {
        module_tof = 0,
        module_rgb = 1,
        module_rgbd = 2,
    };

    // Works with `context` (the caller's, so that its module list and this
    // object see the same camera) or, when null, with a context of its own.
    explicit driver_operate(pvx3::context* context = nullptr);
    ~driver_operate() override;

    // Stream control, GUI thread. Each queues a command for the sample loop
    // (a newer command overwrites an unconsumed one) and configures the
    // streams; none wakes the loop. The start methods return false when the
    // camera refuses the stream configuration; a pipeline that then fails to
    // start is reported by sig_stream_failed.
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
    std::pair<int, int> get_distance_range();  // (far limit, near limit)
    std::pair<int, int> get_option3_range();
    bool get_filter(bool& on);
    int set_filter(bool on);
    // The filter option's value (a pvx3_filter_mode: 0 off, 1 standard, 2
    // noise-aware), the highest value the camera offers (its range's upper
    // bound: 1 on a camera without the noise-aware mode, 0 without a camera)
    // and setting it; set_filter above writes only 0 and 1.
    bool get_filter_mode(int& mode);
    int get_filter_mode_max();
    int set_filter_mode(int mode);
    int set_flip_vertical(bool on);
    int set_flip_horizontal(bool on);

    // What the sample loop has done since the thread started (any thread).
    struct loop_statistics {
        quint64 frame_sets = 0;          // frame sets taken from the pipeline
        quint64 skipped_frame_sets = 0;  // produced by the camera but never taken
        double work_ms_total = 0;        // conversion and hand-over, without the waits
        double work_ms_max = 0;
    };
    loop_statistics statistics();

    // How long the sensor may answer "not now" to integration time changes
    // (counted from the first refusal after a start) before that counts as a
    // refusal of the change (ms).
    static constexpr int kIntegralTimeSettleMs = 1000;

    // Recording (driver_record.cpp), GUI thread. A recording takes every
    // frame set of the running modules (and the raw phase frames when asked
    // and offered) into a file; it survives module, resolution and setting
    // changes.
    struct record_state {
        bool active = false;
        QString path;
        bool raw_frames = false;
        recording::writer_status status;
    };
    // False with a message in words when the file cannot be made or a
    // recording is running already.
    bool start_recording(const QString& path, bool raw_frames, QString& error);
    bool is_recording();
    record_state recording_state();
    // Finishes the file (what is queued is written first). `final_state`
    // describes the closed file; false with the reason when it is incomplete.
    bool stop_recording(record_state& final_state, QString& error);
    // The camera hands out raw phase frames (known after device initialisation).
    bool offers_raw_frames() const { return m_raw_offered; }

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
    // The pipeline refused to start the streams of `module` (module_kind):
    // they have been switched off again; other modules keep running.
    void sig_stream_failed(int module);

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
    // Save-batch state of one pass, read once under the batch lock so that
    // the pass works on a consistent picture (acquisition thread only).
    struct pass_state {
        bool saving = false;  // a depth batch is running
        bool save_depth = false;
        bool save_ir = false;
        bool save_point_cloud = false;
        QString depth_dir;
        std::shared_ptr<save_batch> depth_batch;
        // The frame set whose frames are being converted, and the raw dumps
        // asked for this pass: written by the save pool, not by the loop.
        std::shared_ptr<pvx3::frameset> frames;
        std::vector<raw_dump> dumps;
    };

    // --- sample loop (driver_operate.cpp) ---
    bool init_device();
    void wait_for_wake();
    void take_command();
    std::unique_ptr<pvx3::frameset> wait_for_frame_set();
    void hand_over(int& depth_index, save_pool& pool);
    // Starts the pipeline for `module`; on a refusal drops that module and
    // restarts what still runs (command lock held). Failed modules are
    // appended to `failed`.
    void start_streams(int module, QList<int>& failed);
    void drop_module(int module);
    // The camera is gone: ends the save batches (what was captured is
    // written), switches the modules off and emits sig_fail_open_drive.
    void on_device_lost(save_pool& pool);

    // --- frame conversion (driver_convert.cpp), acquisition thread ---
    bool DealwithDepthData(pvx3::frame* depth_frame, int& width, int& height, bool saving, int number,
                           pvx3::frame* rgb_frame);
    bool DealwithIRData(pvx3::frame* ir_frame, bool saving, int number);
    void DealwithRGBData(pvx3::frame* rgb_frame, bool saving, int& number, bool rgbd);
    // The lens of the depth images now streamed, learnt once per image size
    // and kind from the camera's own point cloud (the SDK hands out no lens).
    std::optional<quality::depth_intrinsics> depth_lens(pvx3::frame* depth_frame, int width,
                                                        int height, bool flip_vertical,
                                                        bool flip_horizontal);

    // --- saving (driver_save.cpp) ---
    // Folder check before a depth hand-over (rgb false) or an RGB write (rgb
    // true): ensures the folder, probes it once, ends the batch on failure.
    bool check_folder(const QString& folder, bool rgb);
    std::unique_ptr<save_task> make_save_task(int frame_index);
    // Queues the SDK's raw dump of `frame` (PNG + JSON at `path`) for the
    // save pool; m_pass.frames must hold the frame's set.
    void dump_raw(pvx3::frame* frame, const QString& path);
    // Hands the pass's raw dumps that no save task took to the pool.
    void submit_dumps(save_pool& pool);
    void write_rgb_frame(const cv::Mat& bgr, int number, bool rgbd);

    // --- device parameters (driver_params.cpp) ---
    pvx3::sensor* sensor();
    std::pair<int, int> option_range(int option);

    void count_frame_set(const pvx3::frameset& set, double work_ms);

    // --- recording (driver_record.cpp) ---
    // Enables or disables the raw phase stream as the recording asks (command
    // lock held, before each pipeline start).
    void configure_raw_stream();
    void record_frame_set(const pvx3::frameset& set);  // acquisition thread
    void note_setting_change();

    // First "not now" of the current run of integration-time refusals (GUI
    // thread).
    std::optional<std::chrono::steady_clock::time_point> m_refusing_since;
    // steady_clock time of the last pipeline start (acquisition thread).
    std::atomic<std::chrono::steady_clock::rep> m_stream_started{0};

    // SDK handles: created in the constructor, owned by the SDK.
    pvx3::context* m_context = nullptr;
    std::atomic<pvx3::device*> m_device{nullptr};  // null while no camera is connected
    pvx3::pipeline* m_pipeline = nullptr;
    pvx3::config* m_config = nullptr;

    std::atomic<bool> m_exit{false};
    std::atomic<int> m_mode{0};  // 0 = 2D page, 1 = 3D page
    // The flips last set on the camera (written on the GUI thread).
    std::atomic<bool> m_flip_vertical{false};
    std::atomic<bool> m_flip_horizontal{false};
    // Acquisition thread only: the lens learnt for an image size and kind; a
    // failed try (no valid points yet) is repeated some frames later.
    struct lens_cache {
        int width = 0;
        int height = 0;
        bool rgbd = false;
        std::optional<quality::depth_intrinsics> lens;
        int retry_in = 0;
    };
    lens_cache m_lens;
    // The camera answered "no device": it was unplugged (acquisition thread).
    bool m_device_lost = false;
    bool m_loss_reported = false;
    bool m_need_open = true;                            // acquisition thread only
    pass_state m_pass;                                  // acquisition thread only
    pcl::PointCloud<pcl::PointXYZRGB> m_cloud_scratch;  // acquisition thread only

    // Taken by run() around its whole body and by the destructor after
    // wait(): an ordering of the thread's last writes that sanitizers see
    // (QThread::wait synchronises through futexes they cannot follow).
    std::mutex m_run_lock;

    // Record lock: guards m_recorder (the recorder itself is thread-safe).
    std::mutex m_record_lock;
    std::shared_ptr<frame_recorder> m_recorder;
    std::atomic<bool> m_raw_offered{false};
    bool m_raw_wanted = false;                       // under the command lock
    int m_depth_stream_w = 0, m_depth_stream_h = 0;  // configured depth size, under the command lock

    std::mutex m_stats_lock;
    loop_statistics m_stats;
    qint64 m_last_frame_number = -1;  // acquisition thread only; -1 after a (re)start

    // Command lock: guards the pending command, the requested size, every
    // call on the configuration, m_formats and m_param_info.
    std::mutex m_command_lock;
    std::condition_variable m_command_taken;
    int m_pending_command = 0;
    std::atomic<bool> m_command_waiting{false};  // mirrors m_pending_command != 0
    int m_requested_width = 0;
    int m_requested_height = 0;
    QMap<int, QList<stream_format>> m_formats;
    tof_param_info m_param_info;

    // Wake condition: the loop parks here after device initialisation. A
    // wake() that comes before the loop parks is remembered, not lost.
    std::mutex m_wake_lock;
    std::condition_variable m_wake_condition;
    bool m_wake_pending = false;
    std::atomic<bool> m_parked{false};

    // Batch lock: guards every save-batch field below. Never held together
    // with another lock.
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
    std::shared_ptr<save_batch> m_depth_batch;  // outcome of the current ToF/RGBD batch
    std::shared_ptr<save_batch> m_rgb_batch;    // outcome of the current RGB-only batch
};
