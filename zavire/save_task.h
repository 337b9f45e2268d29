#pragma once

#include <QString>
#include <QStringList>

#include <opencv2/core.hpp>
#include <pcl/point_cloud.h>
#include <pcl/point_types.h>

#include <memory>
#include <vector>

class ITaskObserver;
class save_batch;
namespace pvx3 {
class frame;
class frameset;
}  // namespace pvx3

// A raw frame the SDK writes as `path` + ".png" and ".json", written by a
// worker: `owner` keeps the frame set holding `frame` alive until then.
struct raw_dump {
    std::shared_ptr<pvx3::frameset> owner;
    pvx3::frame* frame = nullptr;
    QString path;
};

// One depth frame to write. Owns deep copies of the images and the cloud, so
// workers never touch the shared frame data.
struct save_task {
    int frame_index = 0;  // number of the frame in its batch, from 1
    bool save_depth = false;
    bool save_ir = false;
    bool save_point_cloud = false;
    pcl::PointCloud<pcl::PointXYZRGB>::Ptr cloud;  // only when save_point_cloud
    cv::Mat depth_image;                           // R,G,B; only when save_depth
    cv::Mat ir_image;                              // 8-bit grey; only when save_ir
    QString folder;
    std::vector<raw_dump> dumps;  // "Depth[i]", "IR[i]": PNG encoding stays off the loop
    bool is_last = false;
    ITaskObserver* observer = nullptr;  // set on the last task of a batch
    std::shared_ptr<save_batch> batch;  // outcome shared by the batch's tasks
};

// Writes the task's files: its raw dumps, "depth[i].png" (B,G,R), "ir[i].png"
// and "PointCloud[i].pcd" (ASCII, precision 8) into its folder. A raw dump
// that fails is reported by its path without extension. Returns the paths
// that could not be written; never throws.
QStringList write_save_task(save_task& task);

// Runs a task on a worker: writes it, records failures in its batch and tells
// the batch that the task is done.
void run_save_task(save_task& task);
