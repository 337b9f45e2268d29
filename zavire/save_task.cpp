#include "save_task.h"

#include "save_batch.h"
#include "whole_file.h"

#include "app/ensure_folder.h"
#include "app/task_observer.h"

#include <QFile>

#include <parvolux3/pvx3.h>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include "pointcloud_io/pcd_ascii_writer.h"

#include <exception>
#include <vector>

namespace {

bool write_png(const QString& path, const cv::Mat& image)
{
    return write_png_whole(path, image);
}

bool write_pcd(const QString& path, const pcl::PointCloud<pcl::PointXYZRGB>& cloud)
{
    // An empty cloud (no point-cloud frame came) is not saved as a file
    // without points; an inconsistent one is refused by the writer.
    if (cloud.empty())
        return false;
    // The finished file is checked before it takes its real name.
    return write_file_whole(
        path,
        [&cloud](const QString& temporary) {
            return pcd_ascii::write(QFile::encodeName(temporary).toStdString(), cloud);
        },
        pcd_file_complete);
}

}  // namespace

QStringList write_save_task(save_task& task)
{
    QStringList failed;
    for (raw_dump& d : task.dumps) {
        if (d.frame == nullptr || d.frame->dump(QFile::encodeName(d.path).constData()) != 0)
            failed << d.path;
        d.frame = nullptr;
        d.owner.reset();
    }
    task.dumps.clear();
    const QString depth_path = QStringLiteral("%1/depth[%2].png").arg(task.folder).arg(task.frame_index);
    const QString ir_path = QStringLiteral("%1/ir[%2].png").arg(task.folder).arg(task.frame_index);
    const QString pcd_path = QStringLiteral("%1/PointCloud[%3].pcd").arg(task.folder).arg(task.frame_index);

    const bool want_depth = task.save_depth && !task.depth_image.empty();
    const bool want_ir = task.save_ir && !task.ir_image.empty();
    const bool want_cloud = task.save_point_cloud;

    if (ensure_folder(task.folder).isEmpty()) {
        if (want_depth)
            failed << depth_path;
        if (want_ir)
            failed << ir_path;
        if (want_cloud)
            failed << pcd_path;
        if (failed.isEmpty())
            failed << task.folder;
        return failed;
    }

    if (want_depth) {
        cv::Mat bgr;
        cv::cvtColor(task.depth_image, bgr, cv::COLOR_RGB2BGR);
        if (!write_png(depth_path, bgr))
            failed << depth_path;
    }
    if (want_ir && !write_png(ir_path, task.ir_image))
        failed << ir_path;
    if (want_cloud) {
        if (!task.cloud || !write_pcd(pcd_path, *task.cloud))
            failed << pcd_path;
        if (task.cloud)
            task.cloud->clear();
    }
    return failed;
}

void run_save_task(save_task& task)
{
    const QStringList failed = write_save_task(task);
    if (task.batch) {
        for (const QString& f : failed)
            task.batch->add_failure(f);
        task.batch->task_done();
    } else if (failed.isEmpty() && task.is_last && task.observer != nullptr) {
        task.observer->on_task_finished();
    }
}
