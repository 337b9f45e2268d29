// Frame saving: the save slots, the folder check, raw dumps, colour frames and
// the hand-over of depth frames to the save pool.
#include "driver_operate.h"

#include "driver_trace.h"
#include "frame_data.h"
#include "save_batch.h"
#include "save_pool.h"
#include "save_task.h"

#include "whole_file.h"

#include "app/ensure_folder.h"
#include "app/user_message.h"

#include <parvolux3/pvx3.h>

#include <QDateTime>
#include <QDir>
#include <QFile>

#include <cstdio>

namespace {

const QString kRefused = QStringLiteral("The last save was not completed. Please try again later!");
const QString kFolderFailed = QStringLiteral("folder creation failed,check permissions");
const QString kNotWritable = QStringLiteral("The folder does not have write permission!");

QString stamp_now()
{
    return QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMddhhmmss"));
}

}  // namespace

void driver_operate::OnSlotSaveTOF(int nFrame, bool bDepth, bool bPointCloud, bool bIR, QString strFilePath)
{
    {
        std::lock_guard<std::mutex> guard(m_batch_lock);
        if (m_depth_frames_left > 0 || !m_pending_saves.empty()) {
            post_user_message(kRefused);
            return;
        }
    }
    const QString folder = strFilePath + QStringLiteral("/") + stamp_now() + QStringLiteral("_tof");
    if (!QDir().mkpath(folder)) {
        post_user_message(kFolderFailed);
        return;
    }
    {
        std::lock_guard<std::mutex> guard(m_batch_lock);
        m_depth_frames_left = nFrame;
        m_save_depth = bDepth;
        m_save_point_cloud = bPointCloud;
        m_save_ir = bIR;
        m_depth_save_dir = folder;
        m_depth_dir_writable = false;
        m_depth_batch = std::make_shared<save_batch>();
        m_depth_batch->set_folders({folder}, nFrame);
    }
    DRIVER_TRACE(trace_info, QStringLiteral("OnSlotSaveTOF Set Depthframe[%1]").arg(nFrame),
                 "driver_operate::OnSlotSaveTOF");
}

void driver_operate::OnSlotSaveRGB(int nFrame, QString strFilePath)
{
    {
        std::lock_guard<std::mutex> guard(m_batch_lock);
        if (m_rgb_frames_left > 0 || !m_pending_saves.empty()) {
            post_user_message(kRefused);
            return;
        }
    }
    const QString folder = strFilePath + QStringLiteral("/") + stamp_now() + QStringLiteral("_rgb");
    if (!QDir().mkpath(folder)) {
        post_user_message(kFolderFailed);
        return;
    }
    std::lock_guard<std::mutex> guard(m_batch_lock);
    m_rgb_frames_left = nFrame;
    m_rgb_save_dir = folder;
    // A new folder is probed anew.
    m_rgb_dir_writable = false;
    m_rgb_batch = std::make_shared<save_batch>();
    m_rgb_batch->set_folders({folder}, nFrame);
}

void driver_operate::OnSlotSaveRGBD(int nFrame, bool bRGBD, bool bPointCloud, QString strFilePath)
{
    {
        std::lock_guard<std::mutex> guard(m_batch_lock);
        if (m_depth_frames_left > 0 || m_rgb_frames_left > 0 || !m_pending_saves.empty()) {
            post_user_message(kRefused);
            return;
        }
    }
    const QString stamp = stamp_now();
    const QString tof_folder = strFilePath + QStringLiteral("/RGBD/") + stamp + QStringLiteral("_tof");
    const QString rgb_folder = strFilePath + QStringLiteral("/RGBD/") + stamp + QStringLiteral("_rgb");
    if (!QDir().mkpath(tof_folder) || !QDir().mkpath(rgb_folder)) {
        post_user_message(kFolderFailed);
        return;
    }
    {
        std::lock_guard<std::mutex> guard(m_batch_lock);
        m_depth_save_dir = tof_folder;
        m_rgb_save_dir = rgb_folder;
        m_depth_frames_left = nFrame;
        m_rgb_frames_left = nFrame;
        m_save_depth = bRGBD;
        m_save_point_cloud = bPointCloud;
        m_save_ir = false;
        m_depth_dir_writable = false;
        m_rgb_dir_writable = false;
        // The colour frames of an RGBD batch report with its depth frames.
        m_depth_batch = std::make_shared<save_batch>();
        m_depth_batch->set_folders({tof_folder, rgb_folder}, nFrame);
        m_rgb_batch.reset();
    }
    DRIVER_TRACE(trace_info, QStringLiteral("OnSlotSaveRGBD Set Depthframe[%1]").arg(nFrame),
                 "driver_operate::OnSlotSaveRGBD");
}

bool driver_operate::check_folder(const QString& folder, bool rgb)
{
    if (ensure_folder(folder).isEmpty()) {
        {
            std::lock_guard<std::mutex> guard(m_batch_lock);
            (rgb ? m_rgb_frames_left : m_depth_frames_left) = 0;
        }
        post_user_message(kFolderFailed);
        return false;
    }
    {
        std::lock_guard<std::mutex> guard(m_batch_lock);
        if (rgb ? m_rgb_dir_writable : m_depth_dir_writable)
            return true;
    }
    const QString probe = folder + QStringLiteral("/qzviewer.txt");
    if (std::FILE* f = std::fopen(QFile::encodeName(probe).constData(), "wb+")) {
        std::fclose(f);
        QFile::remove(probe);
        std::lock_guard<std::mutex> guard(m_batch_lock);
        (rgb ? m_rgb_dir_writable : m_depth_dir_writable) = true;
        return true;
    }
    {
        std::lock_guard<std::mutex> guard(m_batch_lock);
        (rgb ? m_rgb_frames_left : m_depth_frames_left) = 0;
    }
    post_user_message(kNotWritable);
    return false;
}

void driver_operate::dump_raw(pvx3::frame* frame, const QString& path)
{
    // Encoding two 16-bit PNGs per frame set would cost the loop the
    // camera's rate; the frame set stays alive until a worker has dumped.
    m_pass.dumps.push_back(raw_dump{m_pass.frames, frame, path});
    if (path.contains(QLatin1String("/Depth[")))
        DRIVER_TRACE(trace_info, QStringLiteral("Output Depth File[%1]").arg(path), "driver_operate::DealwithDepthData");
    else
        DRIVER_TRACE(trace_info, QStringLiteral("Output IR File[%1]").arg(path.section(QLatin1Char('['), -1).chopped(1)),
                     "driver_operate::DealwithIRData");
}

void driver_operate::submit_dumps(save_pool& pool)
{
    if (m_pass.dumps.empty())
        return;
    auto task = std::make_unique<save_task>();
    task->folder = m_pass.depth_dir;
    task->batch = m_pass.depth_batch;
    task->dumps.swap(m_pass.dumps);
    if (task->batch)
        task->batch->add_task();
    pool.enqueue(std::move(task));
}

void driver_operate::write_rgb_frame(const cv::Mat& bgr, int number, bool rgbd)
{
    QString folder;
    int left;
    std::shared_ptr<save_batch> batch;
    {
        std::lock_guard<std::mutex> guard(m_batch_lock);
        folder = m_rgb_save_dir;
        left = m_rgb_frames_left;
        batch = rgbd ? m_depth_batch : m_rgb_batch;
    }
    const QString path = QStringLiteral("%1/rgb[%2].png").arg(folder).arg(number);
    const bool written = write_png_whole(path, bgr);
    // In RGBD the frame is counted with its depth frame.
    if (batch && !rgbd)
        batch->add_frame();
    DRIVER_TRACE(trace_info, QStringLiteral("Output RGB File[%1,%2]").arg(left).arg(number),
                 "driver_operate::DealwithRGBData");
    if (!written && batch)
        batch->add_failure(path);
}

std::unique_ptr<save_task> driver_operate::make_save_task(int frame_index)
{
    auto task = std::make_unique<save_task>();
    task->frame_index = frame_index;
    task->save_depth = m_pass.save_depth;
    task->save_ir = m_pass.save_ir;
    task->save_point_cloud = m_pass.save_point_cloud;
    task->folder = m_pass.depth_dir;
    task->batch = m_pass.depth_batch;
    task->dumps.swap(m_pass.dumps);
    if (task->save_depth) {
        std::lock_guard<std::mutex> guard(frame_data::depth_image_lock);
        task->depth_image = frame_data::depth_color_image.clone();
    }
    if (task->save_ir) {
        std::lock_guard<std::mutex> guard(frame_data::ir_image_lock);
        task->ir_image = frame_data::ir_image.clone();
    }
    if (task->save_point_cloud) {
        task->cloud.reset(new pcl::PointCloud<pcl::PointXYZRGB>());
        std::lock_guard<std::mutex> guard(frame_data::point_cloud_lock);
        *task->cloud = *frame_data::point_cloud;  // points, width and height
    }
    return task;
}

void driver_operate::hand_over(int& depth_index, save_pool& pool)
{
    check_folder(m_pass.depth_dir, false);
    std::unique_ptr<save_task> task = make_save_task(depth_index);
    if (task->batch) {
        task->batch->add_task();
        task->batch->add_frame();
    }

    // The loop is the only producer: the queue can only shrink meanwhile.
    const bool room = pool.queued() <= pool.workers();
    std::unique_ptr<save_task> submit;
    std::shared_ptr<save_batch> closing;
    {
        std::lock_guard<std::mutex> guard(m_batch_lock);
        DRIVER_TRACE(trace_info, QStringLiteral("FrameIndex add[%1,%2]").arg(depth_index).arg(m_depth_frames_left),
                     "driver_operate::run");
        depth_index += 1;
        m_depth_frames_left -= 1;
        if (m_depth_frames_left < 1) {
            task->is_last = true;
            task->observer = this;
            closing = task->batch;
        }
        if (!room) {
            m_pending_saves.push_back(std::move(task));
        } else if (!m_pending_saves.empty()) {
            m_pending_saves.push_back(std::move(task));
            submit = std::move(m_pending_saves.front());
            m_pending_saves.pop_front();
        } else {
            submit = std::move(task);
        }
        if (m_depth_frames_left < 1) {
            m_depth_frames_left = 0;
            m_save_depth = false;
            m_save_ir = false;
            m_save_point_cloud = false;
            depth_index = 1;
        }
    }
    if (submit) {
        DRIVER_TRACE(trace_info, QStringLiteral("Task add[%1]").arg(submit->frame_index), "driver_operate::run");
        pool.enqueue(std::move(submit));
    }
    if (closing)
        closing->close(this);
}

void driver_operate::on_device_lost(save_pool& pool)
{
    DRIVER_TRACE(trace_error, QStringLiteral("Device lost"), "driver_operate::run");
    m_tof_on = false;
    m_rgb_on = false;
    m_rgbd_on = false;

    // Batches end here: the frames captured so far are written, the rest
    // never comes.
    std::shared_ptr<save_batch> depth_batch;
    std::shared_ptr<save_batch> rgb_batch;
    std::list<std::unique_ptr<save_task>> pending;
    {
        std::lock_guard<std::mutex> guard(m_batch_lock);
        if (m_depth_frames_left > 0)
            depth_batch = m_depth_batch;
        if (m_rgb_frames_left > 0)
            rgb_batch = m_rgb_batch;
        m_depth_frames_left = 0;
        m_rgb_frames_left = 0;
        m_save_depth = false;
        m_save_ir = false;
        m_save_point_cloud = false;
        pending.swap(m_pending_saves);
    }
    for (std::unique_ptr<save_task>& task : pending)
        pool.enqueue(std::move(task));
    const QString reason = QStringLiteral("the camera was disconnected");
    if (depth_batch) {
        depth_batch->interrupt(reason);
        depth_batch->close(this);
    }
    if (rgb_batch && rgb_batch != depth_batch) {
        rgb_batch->interrupt(reason);
        rgb_batch->close(nullptr);
    }
    emit sig_fail_open_drive();
}
