// Frame conversion of the sample loop: SDK frames into the process-wide frame
// data, the IR and colour pixmaps, and the per-frame parts of saving.
#include "driver_operate.h"

#include "driver_trace.h"
#include "frame_convert.h"
#include "frame_data.h"
#include "save_batch.h"

#include <parvolux3/pvx3.h>
#include <qzapi/image_refiner.h>

#include <QImage>

#include <opencv2/imgproc.hpp>

#include <algorithm>

bool driver_operate::DealwithDepthData(pvx3::frame* depth_frame, int& width, int& height, bool saving,
                                       int number, pvx3::frame* rgb_frame)
{
    const void* data = depth_frame->get_data();
    if (data == nullptr) {
        DRIVER_TRACE(trace_info, QStringLiteral("depth_data empty"), "driver_operate::DealwithDepthData");
        return false;
    }
    const int w = depth_frame->get_width();
    const int h = depth_frame->get_height();

    if (saving)
        dump_raw(depth_frame, QStringLiteral("%1/Depth[%2]").arg(m_pass.depth_dir).arg(number));

    const int mode = m_mode;
    if (mode == 0 || (saving && m_pass.save_depth)) {
        const auto* render = static_cast<const uint8_t*>(depth_frame->get_render_data());
        if (render != nullptr) {
            // Copies are made before taking the lock; the lock only swaps them in.
            cv::Mat colour = cv::Mat(h, w, CV_8UC3, const_cast<uint8_t*>(render)).clone();
            cv::Mat raw = cv::Mat(h, w, CV_16UC1, const_cast<void*>(data)).clone();
            frame_data::depth_frame_facts facts;
            facts.frame_number = depth_frame->get_frame_number();
            facts.time_s = static_cast<double>(depth_frame->get_timestamp_us()) / 1e6;
            facts.flip_vertical = m_flip_vertical;
            facts.flip_horizontal = m_flip_horizontal;
            if (mode == 0)
                facts.lens = depth_lens(depth_frame, w, h, facts.flip_vertical, facts.flip_horizontal);
            {
                std::lock_guard<std::mutex> guard(frame_data::depth_image_lock);
                frame_data::depth_color_image = colour;
                frame_data::depth_raw_image = raw;
                frame_data::depth_facts = facts;
            }
            emit sig_update_date_vec();
        }
    }

    if ((mode == 1 || (saving && m_pass.save_point_cloud)) && m_pipeline != nullptr) {
        frame_data::camera_pose pose;
        if (qzapi::ImageRefiner* refiner = qzapi::ImageRefiner::CreateInstance())
            refiner->GetViewCamera(pose.position, pose.focal_point, pose.view_up, 10000);

        pvx3::process_engine* engine = m_pipeline->get_process_engine();
        pvx3::frame* cloud_frame = engine != nullptr ? engine->depth_to_point_cloud(depth_frame) : nullptr;
        float* xyz = cloud_frame != nullptr ? static_cast<float*>(cloud_frame->get_render_data()) : nullptr;

        // Built outside the lock into a scratch cloud, swapped in under it.
        // The scratch keeps its points (the shared cloud's of the frame
        // before): every one is overwritten, and clearing would construct
        // them all again on the next resize.
        if (xyz == nullptr)
            m_cloud_scratch.clear();
        else {
            const uint8_t* bgr = nullptr;
            if (rgb_frame != nullptr && rgb_frame->get_width() == w && rgb_frame->get_height() == h)
                bgr = static_cast<const uint8_t*>(rgb_frame->get_data());
            const auto* depth = static_cast<const uint16_t*>(data);
            if (bgr != nullptr)
                fill_measured_point_cloud(m_cloud_scratch, xyz, bgr, colour_order::bgr, depth, w, h);
            // The depth colours are made only when no colour frame gives the
            // points theirs (2 million pixels in RGBD).
            else if (const auto* render = static_cast<const uint8_t*>(depth_frame->get_render_data()))
                fill_measured_point_cloud(m_cloud_scratch, xyz, render, colour_order::rgb, depth, w, h);
            else
                m_cloud_scratch.clear();
        }
        delete[] xyz;
        {
            std::lock_guard<std::mutex> guard(frame_data::point_cloud_lock);
            pcl::PointCloud<pcl::PointXYZRGB>& shared = *frame_data::point_cloud;
            shared.points.swap(m_cloud_scratch.points);
            shared.width = m_cloud_scratch.width;
            shared.height = m_cloud_scratch.height;
            shared.is_dense = m_cloud_scratch.is_dense;
            // The pose is read by the 3D view under this lock.
            frame_data::view_camera_pose = pose;
        }
        if (mode == 1)
            emit sig_update_cloud_point_vec();
    }

    width = w;
    height = h;
    return true;
}

std::optional<quality::depth_intrinsics> driver_operate::depth_lens(pvx3::frame* depth_frame, int width,
                                                                    int height, bool flip_vertical,
                                                                    bool flip_horizontal)
{
    const bool rgbd = m_rgbd_on;
    if (m_lens.width != width || m_lens.height != height || m_lens.rgbd != rgbd) {
        m_lens = lens_cache();
        m_lens.width = width;
        m_lens.height = height;
        m_lens.rgbd = rgbd;
    }
    if (m_lens.lens || m_pipeline == nullptr)
        return m_lens.lens;
    if (m_lens.retry_in > 0) {
        --m_lens.retry_in;
        return std::nullopt;
    }
    // One point cloud per size: about what one 3D-page frame costs.
    pvx3::process_engine* engine = m_pipeline->get_process_engine();
    pvx3::frame* cloud = engine != nullptr ? engine->depth_to_point_cloud(depth_frame) : nullptr;
    std::unique_ptr<float[]> xyz(cloud != nullptr ? static_cast<float*>(cloud->get_render_data()) : nullptr);
    if (xyz)
        m_lens.lens = quality::estimate_intrinsics(xyz.get(), width, height, flip_vertical, flip_horizontal);
    if (!m_lens.lens)
        m_lens.retry_in = 30;
    return m_lens.lens;
}

bool driver_operate::DealwithIRData(pvx3::frame* ir_frame, bool saving, int number)
{
    const void* data = ir_frame->get_data();
    if (data == nullptr) {
        DRIVER_TRACE(trace_info, QStringLiteral("ir_data empty"), "driver_operate::DealwithIRData");
        return false;
    }
    const int w = ir_frame->get_width();
    const int h = ir_frame->get_height();
    if (saving)
        dump_raw(ir_frame, QStringLiteral("%1/IR[%2]").arg(m_pass.depth_dir).arg(number));

    const cv::Mat raw(h, w, CV_16UC1, const_cast<void*>(data));
    cv::Mat gray = ir_to_gray(raw);
    cv::Mat raw_copy = raw.clone();
    {
        std::lock_guard<std::mutex> guard(frame_data::ir_image_lock);
        // gray is a fresh image nobody else writes; sharing it is safe.
        frame_data::ir_image = gray;
        frame_data::ir_raw_image = raw_copy;
    }

    cv::Mat rgb;
    cv::cvtColor(gray, rgb, cv::COLOR_GRAY2RGB);
    const QImage image(rgb.data, w, h, static_cast<int>(rgb.step), QImage::Format_RGB888);
    emit sig_show_ir(QPixmap::fromImage(image));
    return true;
}

void driver_operate::DealwithRGBData(pvx3::frame* rgb_frame, bool saving, int& number, bool rgbd)
{
    const void* data = rgb_frame->get_data();
    if (data == nullptr) {
        DRIVER_TRACE(trace_info, QStringLiteral("rgb_data empty"), "driver_operate::DealwithRGBData");
        return;
    }
    const int w = rgb_frame->get_width();
    const int h = rgb_frame->get_height();

    QString folder;
    if (saving) {
        {
            std::lock_guard<std::mutex> guard(m_batch_lock);
            folder = m_rgb_save_dir;
        }
        check_folder(folder, true);
    }

    cv::Mat rgb;
    cv::Mat bgr;
    QImage image;
    if (!rgbd) {
        rgb = yuyv_to_rgb(static_cast<const uint8_t*>(data), w, h);
        cv::cvtColor(rgb, bgr, cv::COLOR_RGB2BGR);
        image = QImage(rgb.data, w, h, static_cast<int>(rgb.step), QImage::Format_RGB888);
    } else {
        // The registered frame is B,G,R already: Qt swaps while building the
        // pixmap, which saves a full-size conversion on this thread.
        bgr = cv::Mat(h, w, CV_8UC3, const_cast<void*>(data));
        image = QImage(bgr.data, w, h, static_cast<int>(bgr.step), QImage::Format_BGR888);
    }

    if (saving) {
        // Written even when the folder check has just ended the batch.
        write_rgb_frame(bgr, number, rgbd);
    }
    std::shared_ptr<save_batch> finished;
    {
        // One critical section, so that a batch started meanwhile on the GUI
        // thread is not mistaken for the one that just ended.
        std::lock_guard<std::mutex> guard(m_batch_lock);
        if (saving) {
            m_rgb_frames_left -= 1;
            if (!rgbd)
                number += 1;
        }
        if (!rgbd && m_rgb_frames_left < 1) {
            number = 1;
            if (saving)
                finished.swap(m_rgb_batch);
        }
    }
    // An RGB-only batch has no completion message, but failed writes are told.
    if (finished)
        finished->close(nullptr);

    emit sig_show_rgb(QPixmap::fromImage(image));
}
