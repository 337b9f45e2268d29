#include "driver_operate.h"

#include "driver_trace.h"
#include "frame_convert.h"
#include "frame_recorder.h"
#include "frame_data.h"
#include "save_batch.h"
#include "save_pool.h"
#include "save_task.h"

#include "app/user_message.h"

#include <parvolux3/pvx3.h>
#include <playback/host_context.h>
#include <qzapi/image_refiner.h>

#include <QMetaType>

#include <algorithm>
#include <chrono>
#include <thread>

namespace {

constexpr int kSaveWorkers = 6;
constexpr int kFrameSetTimeoutMs = 15000;
// The frame-set wait is cut into slices so that stop() and new commands are
// noticed within one slice instead of after the whole timeout.
constexpr unsigned kFrameSetSliceMs = 50;
constexpr int kRgbWidth = 1920;
constexpr int kRgbHeight = 1080;
constexpr int kRgbdDepthWidth = 640;
constexpr int kRgbdDepthHeight = 480;

void pause_pass()
{
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

// Low 32 bits of a frame handle, as the trace records show them.
QString handle_text(const void* p)
{
    return QString::number(static_cast<quint32>(reinterpret_cast<quintptr>(p)));
}

}  // namespace

driver_operate::driver_operate(pvx3::context* context)
{
    qRegisterMetaType<uint16_t>("uint16_t");

    m_context = context != nullptr ? context : pvx3::pvx3_create_context();

    uint8_t* table = nullptr;
    int count = 0;
    if (pvx3::pvx3_get_colormap_table(&table, &count) == 0 && table != nullptr) {
        frame_data::color_bar = make_color_bar(table, count);
    }
    delete[] table;

    if (m_context != nullptr) {
        m_context->query_devices();
        m_device = m_context->get_device();
        // A recording played back makes its own (playback/host_context.h).
        m_config = playback::create_config(m_context);
        m_pipeline = playback::create_pipeline(m_context);
    }

    {
        std::lock_guard<std::mutex> guard(frame_data::point_cloud_lock);
        if (!frame_data::point_cloud)
            frame_data::point_cloud.reset(new pcl::PointCloud<pcl::PointXYZRGB>());
    }

    // The refiner's factory takes no lock; create the instance here, on the
    // GUI thread, before the acquisition thread first asks for it.
    qzapi::ImageRefiner::CreateInstance();
}

driver_operate::~driver_operate()
{
    // Never destroy a running thread; the owner normally stop()s and wait()s.
    if (isRunning()) {
        stop();
        wait();
    }
    std::lock_guard<std::mutex> finished(m_run_lock);
}

// --- stream commands (GUI thread) -------------------------------------------

bool driver_operate::start_tof()
{
    std::lock_guard<std::mutex> guard(m_command_lock);
    if (m_config != nullptr) {
        const int depth = m_config->enable_stream(stream_depth, m_param_info.width, m_param_info.height);
        const int ir = m_config->enable_stream(stream_ir, m_param_info.width, m_param_info.height);
        if (depth != 0 || ir != 0) {
            DRIVER_TRACE(trace_error, QStringLiteral("ToF stream configuration refused [%1,%2]").arg(depth).arg(ir),
                         "driver_operate::start_tof");
            m_config->disable_stream(stream_depth);
            m_config->disable_stream(stream_ir);
            return false;
        }
    }
    m_depth_stream_w = m_param_info.width;
    m_depth_stream_h = m_param_info.height;
    m_tof_on = true;
    m_pending_command = 1;
    m_command_waiting = true;
    return true;
}

bool driver_operate::stop_tof()
{
    m_tof_on = false;
    std::lock_guard<std::mutex> guard(m_command_lock);
    m_pending_command = 2;
    m_command_waiting = true;
    if (m_config != nullptr) {
        m_config->disable_stream(stream_depth);
        m_config->disable_stream(stream_ir);
    }
    return true;
}

bool driver_operate::start_rgb()
{
    std::lock_guard<std::mutex> guard(m_command_lock);
    if (m_config != nullptr && m_config->enable_stream(stream_rgb, kRgbWidth, kRgbHeight) != 0) {
        DRIVER_TRACE(trace_error, QStringLiteral("RGB stream configuration refused"), "driver_operate::start_rgb");
        return false;
    }
    m_rgb_on = true;
    m_pending_command = 3;
    m_command_waiting = true;
    return true;
}

bool driver_operate::stop_rgb()
{
    m_rgb_on = false;
    std::lock_guard<std::mutex> guard(m_command_lock);
    m_pending_command = 4;
    m_command_waiting = true;
    if (m_config != nullptr)
        m_config->disable_stream(stream_rgb);
    return true;
}

bool driver_operate::start_rgbd()
{
    std::lock_guard<std::mutex> guard(m_command_lock);
    if (m_config != nullptr) {
        m_config->disable_stream(stream_ir);
        const int depth = m_config->enable_stream(stream_depth, kRgbdDepthWidth, kRgbdDepthHeight);
        const int rgb = m_config->enable_stream(stream_rgb, kRgbWidth, kRgbHeight);
        if (depth != 0 || rgb != 0) {
            DRIVER_TRACE(trace_error, QStringLiteral("RGBD stream configuration refused [%1,%2]").arg(depth).arg(rgb),
                         "driver_operate::start_rgbd");
            // What ran before keeps its configuration.
            if (m_tof_on) {
                m_config->enable_stream(stream_depth, m_param_info.width, m_param_info.height);
                m_config->enable_stream(stream_ir, m_param_info.width, m_param_info.height);
            } else {
                m_config->disable_stream(stream_depth);
            }
            if (!m_rgb_on)
                m_config->disable_stream(stream_rgb);
            return false;
        }
    }
    m_tof_on = false;
    m_rgb_on = false;
    m_rgbd_on = true;
    m_depth_stream_w = kRgbdDepthWidth;
    m_depth_stream_h = kRgbdDepthHeight;
    m_pending_command = 5;
    m_command_waiting = true;
    return true;
}

bool driver_operate::stop_rgbd()
{
    m_rgbd_on = false;
    std::lock_guard<std::mutex> guard(m_command_lock);
    m_pending_command = 6;
    m_command_waiting = true;
    if (m_config != nullptr) {
        m_config->disable_stream(stream_depth);
        m_config->disable_stream(stream_rgb);
    }
    return true;
}

bool driver_operate::wake()
{
    {
        std::lock_guard<std::mutex> guard(m_wake_lock);
        m_wake_pending = true;
    }
    m_wake_condition.notify_all();
    return true;
}

bool driver_operate::stop()
{
    // Let a queued command (typically the stream stops of a closing window)
    // run first, for at most 100 x 10 ms; a loop parked on the wake condition
    // or not running cannot take it, so there is nothing to wait for then.
    {
        std::unique_lock<std::mutex> lock(m_command_lock);
        for (int i = 0; i < 100 && m_pending_command != 0; ++i) {
            if (m_parked || !isRunning())
                break;
            m_command_taken.wait_for(lock, std::chrono::milliseconds(10));
        }
    }
    m_exit = true;
    {
        std::lock_guard<std::mutex> guard(m_wake_lock);
        m_wake_pending = true;
    }
    m_wake_condition.notify_all();
    return true;
}

tof_param_info driver_operate::get_depth_resolutions()
{
    std::lock_guard<std::mutex> guard(m_command_lock);
    return m_param_info;
}

QList<stream_format> driver_operate::get_rgb_formats()
{
    std::lock_guard<std::mutex> guard(m_command_lock);
    return m_formats.value(stream_rgb);
}

void driver_operate::slot_change_mode(int mode)
{
    m_mode = mode;
}

void driver_operate::on_task_finished()
{
    post_user_message(QStringLiteral("Save completed."));
}

// --- sample loop (acquisition thread) ---------------------------------------

driver_operate::loop_statistics driver_operate::statistics()
{
    std::lock_guard<std::mutex> guard(m_stats_lock);
    return m_stats;
}

void driver_operate::count_frame_set(const pvx3::frameset& set, double work_ms)
{
    pvx3::frame* any = set.get_depth_frame();
    if (any == nullptr)
        any = set.get_rgb_frame();
    const qint64 number = any != nullptr ? static_cast<qint64>(any->get_frame_number()) : -1;
    std::lock_guard<std::mutex> guard(m_stats_lock);
    ++m_stats.frame_sets;
    if (number >= 0 && m_last_frame_number >= 0 && number > m_last_frame_number + 1)
        m_stats.skipped_frame_sets += static_cast<quint64>(number - m_last_frame_number - 1);
    if (number >= 0)
        m_last_frame_number = number;
    m_stats.work_ms_total += work_ms;
    m_stats.work_ms_max = std::max(m_stats.work_ms_max, work_ms);
}

void driver_operate::wait_for_wake()
{
    std::unique_lock<std::mutex> lock(m_wake_lock);
    m_parked = true;
    m_wake_condition.wait(lock, [this] { return m_wake_pending || m_exit; });
    m_wake_pending = false;
    m_parked = false;
}

bool driver_operate::init_device()
{
    m_need_open = false;

    // The camera may have been connected since the last attempt; a pipeline
    // streams from the camera connected when it was made, so it is made anew.
    if (m_device == nullptr && m_context != nullptr) {
        m_context->query_devices();
        m_device = m_context->get_device();
        if (m_device != nullptr)
            m_pipeline = playback::create_pipeline(m_context);
    }
    if (m_device == nullptr) {
        DRIVER_TRACE(trace_error, QStringLiteral("No device"), "driver_operate::init_device");
        return false;
    }

    const std::vector<int> streams = m_device.load()->get_support_stream();
    const bool has_tof = std::find(streams.begin(), streams.end(), int(stream_depth)) != streams.end();
    const bool has_rgb = std::find(streams.begin(), streams.end(), int(stream_rgb)) != streams.end();
    m_raw_offered = std::find(streams.begin(), streams.end(), int(pvx3::PVX3_STREAM_RAW_PHASE)) != streams.end();

    auto info = [this](int key) {
        const char* text = playback::device_info(m_context, m_device, key);
        return text != nullptr ? QString::fromUtf8(text) : QString();
    };
    const QString version = info(pvx3::PVX3_CAMERA_INFO_FIRMWARE_VERSION);
    const QString recommended = info(pvx3::PVX3_CAMERA_INFO_RECOMMENDED_FIRMWARE_VERSION);
    const QString module = info(pvx3::PVX3_CAMERA_INFO_MODULE_NAME);
    const QString product = info(pvx3::PVX3_CAMERA_INFO_PRODUCT_NUMBER);
    emit sig_device_info(module, product, version, recommended, has_tof, has_rgb);

    const std::vector<pvx3::pvx3_stream_format> formats = m_device.load()->get_support_format();
    if (formats.empty()) {
        DRIVER_TRACE(trace_error, QStringLiteral("GetSupportFormat empty "), "driver_operate::init_device");
        return false;
    }

    {
        std::lock_guard<std::mutex> guard(m_command_lock);
        for (const pvx3::pvx3_stream_format& f : formats)
            m_formats[f.type].append(stream_format{f.type, f.width, f.height});
        const QList<stream_format> depth = m_formats.value(stream_depth);
        if (!depth.isEmpty()) {
            for (const stream_format& f : depth)
                m_param_info.resolutions[f.width] = f.height;
            const stream_format& start =
                module.contains(QLatin1String("QZ20")) ? depth.back() : depth.front();
            m_param_info.width = start.width;
            m_param_info.height = start.height;
        }
    }
    emit sig_reset_resolution();

    wait_for_wake();
    return true;
}

void driver_operate::drop_module(int module)
{
    if (module == module_tof) {
        m_tof_on = false;
        m_config->disable_stream(stream_depth);
        m_config->disable_stream(stream_ir);
    } else if (module == module_rgb) {
        m_rgb_on = false;
        m_config->disable_stream(stream_rgb);
    } else {
        m_rgbd_on = false;
        m_config->disable_stream(stream_depth);
        m_config->disable_stream(stream_rgb);
    }
}

void driver_operate::start_streams(int module, QList<int>& failed)
{
    pvx3::pvx3_error error;
    configure_raw_stream();
    m_stream_started = std::chrono::steady_clock::now().time_since_epoch().count();
    if (m_pipeline->start(m_config, &error) == 0)
        return;
    if (error.code == pvx3::PVX3_ERROR_NO_DEVICE) {
        m_device_lost = true;
        return;
    }
    DRIVER_TRACE(trace_error,
                 QStringLiteral("Pipeline start failed [%1] %2").arg(error.code).arg(QString::fromStdString(error.message)),
                 "driver_operate::run");
    failed.append(module);
    drop_module(module);
    // The refused start stopped the pipeline: start again what still runs.
    if (!m_tof_on && !m_rgb_on && !m_rgbd_on)
        return;
    if (m_pipeline->start(m_config, &error) == 0)
        return;
    for (int other : {int(module_tof), int(module_rgb), int(module_rgbd)}) {
        const bool on = other == module_tof ? m_tof_on : other == module_rgb ? m_rgb_on
                                                                             : m_rgbd_on;
        if (on) {
            failed.append(other);
            drop_module(other);
        }
    }
}

void driver_operate::take_command()
{
    struct change_report {
        int width, height, type;
        bool ok = true;
    };
    QList<change_report> reports;
    QList<int> failed;
    {
        std::lock_guard<std::mutex> guard(m_command_lock);
        const int command = m_pending_command;
        const bool has_all = m_device != nullptr && m_pipeline != nullptr && m_config != nullptr;
        const int before = failed.size();
        switch (command) {
        case 1:
            if (has_all) {
                start_streams(module_tof, failed);
                if (failed.size() == before && !m_device_lost)
                    reports.append({m_param_info.width, m_param_info.height, 0});
            }
            break;
        case 2:
            if (m_pipeline != nullptr) {
                m_pipeline->stop();
                if (m_rgb_on && m_config != nullptr)
                    start_streams(module_rgb, failed);
            }
            break;
        case 3:
            if (m_pipeline != nullptr && m_config != nullptr) {
                start_streams(module_rgb, failed);
                if (!failed.contains(int(module_rgb)) && !m_device_lost)
                    reports.append({kRgbWidth, kRgbHeight, 1});
            }
            break;
        case 4:
            if (m_pipeline != nullptr) {
                m_pipeline->stop();
                if (m_tof_on && m_config != nullptr)
                    start_streams(module_tof, failed);
            }
            break;
        case 5:
            if (has_all) {
                m_param_info.width = kRgbdDepthWidth;
                m_param_info.height = kRgbdDepthHeight;
                start_streams(module_rgbd, failed);
                if (failed.size() == before && !m_device_lost) {
                    // The registered depth has the colour size.
                    reports.append({kRgbWidth, kRgbHeight, 0});
                    reports.append({kRgbWidth, kRgbHeight, 1});
                }
            }
            break;
        case 6:
            if (m_pipeline != nullptr)
                m_pipeline->stop();
            break;
        case 7:
            if (m_formats.contains(stream_depth)) {
                if (m_tof_on && m_pipeline != nullptr && m_config != nullptr) {
                    m_pipeline->stop();
                    start_streams(module_tof, failed);
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
                m_param_info.width = m_requested_width;
                m_param_info.height = m_requested_height;
                reports.append({m_requested_width, m_requested_height, 0, !failed.contains(int(module_tof))});
            }
            break;
        case 9:
            // The recording switched the raw phase stream on or off.
            if ((m_tof_on || m_rgbd_on) && m_pipeline != nullptr && m_config != nullptr) {
                m_pipeline->stop();
                start_streams(m_rgbd_on ? module_rgbd : module_tof, failed);
            }
            break;
        case 8:
            if (m_formats.contains(stream_rgb)) {
                if (m_rgb_on && m_pipeline != nullptr && m_config != nullptr) {
                    m_pipeline->stop();
                    start_streams(module_rgb, failed);
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
                reports.append({m_requested_width, m_requested_height, 1, !failed.contains(int(module_rgb))});
            }
            break;
        default:
            break;
        }
        if (command != 0)
            m_last_frame_number = -1;  // the pipeline counts anew after a start
        m_pending_command = 0;
        m_command_waiting = false;
    }
    m_command_taken.notify_all();
    // Emitted outside the lock: a directly connected receiver may queue the
    // next command.
    for (const change_report& r : reports)
        emit sig_finish_change_frame(r.ok, r.width, r.height, r.type);
    for (int module : failed)
        emit sig_stream_failed(module);
}

std::unique_ptr<pvx3::frameset> driver_operate::wait_for_frame_set()
{
    using clock = std::chrono::steady_clock;
    const clock::time_point deadline = clock::now() + std::chrono::milliseconds(kFrameSetTimeoutMs);
    for (;;) {
        pvx3::pvx3_error error;
        std::unique_ptr<pvx3::frameset> set(m_pipeline->wait_for_frames(kFrameSetSliceMs, &error));
        if (set)
            return set;
        if (error.code == pvx3::PVX3_ERROR_NO_DEVICE) {
            m_device_lost = true;
            return nullptr;
        }
        // Only a timeout is worth waiting again for; a stopped or unstarted
        // pipeline answers at once.
        if (error.code != pvx3::PVX3_ERROR_TIMEOUT || clock::now() >= deadline)
            break;
        if (m_exit || m_command_waiting)
            return nullptr;
    }
    DRIVER_TRACE(trace_info, QStringLiteral("Frameset empty[%1]").arg(0), "driver_operate::run");
    return nullptr;
}

void driver_operate::run()
{
    std::lock_guard<std::mutex> running(m_run_lock);
    std::unique_ptr<save_pool> pool = save_pool::create(kSaveWorkers);
    int depth_index = 1;
    int rgb_index = 1;
    DRIVER_TRACE(trace_info, QStringLiteral("Sample Thread Start"), "driver_operate::run");

    for (;;) {
        // Drain one buffered save task per pass while the pool has room.
        if (pool->queued() <= pool->workers()) {
            std::unique_ptr<save_task> task;
            {
                std::lock_guard<std::mutex> guard(m_batch_lock);
                if (!m_pending_saves.empty()) {
                    task = std::move(m_pending_saves.front());
                    m_pending_saves.pop_front();
                }
            }
            if (task) {
                DRIVER_TRACE(trace_info, QStringLiteral("Task add[%1]").arg(task->frame_index), "driver_operate::run");
                pool->enqueue(std::move(task));
                continue;
            }
        }

        if (m_exit)
            break;

        if (m_need_open) {
            bool opened = init_device();
            while (!opened && !m_exit) {
                post_user_message(QStringLiteral("open device fail!"));
                emit sig_open_faild();
                wait_for_wake();
                if (m_exit)
                    break;
                opened = init_device();
            }
            if (m_exit)
                break;
        }

        take_command();

        if (m_device_lost) {
            if (!m_loss_reported) {
                m_loss_reported = true;
                on_device_lost(*pool);
            }
            // Nothing more comes from this camera: wait for the close.
            wait_for_wake();
            continue;
        }

        {
            std::lock_guard<std::mutex> guard(m_batch_lock);
            m_pass.saving = m_depth_frames_left > 0;
            m_pass.save_depth = m_save_depth;
            m_pass.save_ir = m_save_ir;
            m_pass.save_point_cloud = m_save_point_cloud;
            m_pass.depth_dir = m_depth_save_dir;
            m_pass.depth_batch = m_depth_batch;
        }
        const bool saving = m_pass.saving;

        if (m_pipeline == nullptr) {
            DRIVER_TRACE(trace_info, QStringLiteral("Pipeline empty[%1]").arg(0), "driver_operate::run");
            pause_pass();
            continue;
        }

        std::unique_ptr<pvx3::frameset> arrived = wait_for_frame_set();
        if (!arrived) {
            if (!m_device_lost)
                pause_pass();
            continue;
        }
        // Shared with the raw dumps of a batch, which outlive the pass.
        const std::shared_ptr<pvx3::frameset> set(std::move(arrived));
        // A close or a command that came during the wait goes first; the
        // frame set is dropped before it has any effect.
        if (m_exit || m_command_waiting)
            continue;

        const auto work_start = std::chrono::steady_clock::now();
        bool ok = false;
        if (m_rgbd_on) {
            pvx3::frame* depth = set->get_depth_frame();
            pvx3::frame* rgb = set->get_rgb_frame();
            if (depth == nullptr || rgb == nullptr) {
                DRIVER_TRACE(trace_info,
                             QStringLiteral("Frame empty[%1,%2]").arg(handle_text(rgb), handle_text(depth)),
                             "driver_operate::run");
            } else {
                pvx3::process_engine* engine = m_pipeline->get_process_engine();
                std::unique_ptr<pvx3::frameset> registered(
                    engine != nullptr ? engine->depth_to_rgb(depth, rgb) : nullptr);
                // Registration is the long step of an RGBD pass; do not make
                // a close or a command wait for the conversions as well.
                if (registered && (m_exit || m_command_waiting))
                    registered.reset();
                if (registered) {
                    pvx3::frame* reg_depth = registered->get_depth_frame();
                    pvx3::frame* reg_rgb = registered->get_rgb_frame();
                    m_pass.frames = std::move(registered);
                    int width = 0;
                    int height = 0;
                    if (reg_depth != nullptr)
                        ok = DealwithDepthData(reg_depth, width, height, saving, depth_index, reg_rgb);
                    if (m_exit || m_command_waiting) {
                        // Not handed over: the next frame takes this number.
                        ok = false;
                    } else if (reg_rgb != nullptr) {
                        DealwithRGBData(reg_rgb, saving, depth_index, true);
                    }
                }
            }
        } else {
            m_pass.frames = set;
            if (m_tof_on) {
                bool ir_ok = false;
                if (pvx3::frame* ir = set->get_ir_frame()) {
                    ir_ok = DealwithIRData(ir, saving, depth_index);
                } else {
                    DRIVER_TRACE(trace_info, QStringLiteral("IRFrame empty"), "driver_operate::run");
                }
                if (pvx3::frame* depth = set->get_depth_frame()) {
                    int width = 0;
                    int height = 0;
                    const bool depth_ok = DealwithDepthData(depth, width, height, saving, depth_index, nullptr);
                    ok = depth_ok && ir_ok;
                } else {
                    DRIVER_TRACE(trace_info, QStringLiteral("DepthFrame empty"), "driver_operate::run");
                }
            }
            if (m_rgb_on) {
                if (pvx3::frame* rgb = set->get_rgb_frame()) {
                    bool rgb_saving;
                    {
                        std::lock_guard<std::mutex> guard(m_batch_lock);
                        rgb_saving = m_rgb_frames_left >= 1;
                    }
                    DealwithRGBData(rgb, rgb_saving, rgb_index, false);
                }
            }
        }
        record_frame_set(*set);
        if (ok && saving)
            hand_over(depth_index, *pool);
        submit_dumps(*pool);
        m_pass.frames.reset();
        count_frame_set(*set, std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - work_start).count());
        pause_pass();
    }

    DRIVER_TRACE(trace_info, QStringLiteral("Sample Thread exit"), "driver_operate::run");
    if (m_pipeline != nullptr) {
        m_pipeline->stop();
        m_tof_on = false;
        m_rgb_on = false;
        m_rgbd_on = false;
    }
    // Frames already captured for a batch are written before the thread ends.
    std::list<std::unique_ptr<save_task>> left;
    {
        std::lock_guard<std::mutex> guard(m_batch_lock);
        left.swap(m_pending_saves);
    }
    for (std::unique_ptr<save_task>& task : left)
        pool->enqueue(std::move(task));
    pool->shutdown();
    m_pass = pass_state();
}
