#include "zavire/save_batch.h"
#include "zavire/save_pool.h"
#include "zavire/save_task.h"

#include "message_recorder.h"

#include "app/task_observer.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <opencv2/imgcodecs.hpp>
#include <pcl/io/pcd_io.h>

#include <gtest/gtest.h>

#include <atomic>

namespace {

pcl::PointCloud<pcl::PointXYZRGB>::Ptr make_cloud(int width, int height)
{
    pcl::PointCloud<pcl::PointXYZRGB>::Ptr cloud(new pcl::PointCloud<pcl::PointXYZRGB>());
    for (int i = 0; i < width * height; ++i) {
        pcl::PointXYZRGB p;
        p.x = 0.125f * i;
        p.y = -1.5f;
        p.z = 1000.0f + i;
        p.r = static_cast<uint8_t>(i);
        p.g = 7;
        p.b = 200;
        cloud->push_back(p);
    }
    cloud->width = static_cast<uint32_t>(width);
    cloud->height = static_cast<uint32_t>(height);
    return cloud;
}

save_task full_task(const QString& folder, int index)
{
    save_task t;
    t.frame_index = index;
    t.folder = folder;
    t.save_depth = true;
    t.save_ir = true;
    t.save_point_cloud = true;
    t.depth_image = cv::Mat(2, 3, CV_8UC3, cv::Scalar(10, 20, 30)); // R, G, B
    t.ir_image = cv::Mat(2, 3, CV_8UC1, cv::Scalar(99));
    t.cloud = make_cloud(3, 2);
    return t;
}

TEST(SaveTask, WritesTheThreeFilesWithTheirNames)
{
    QTemporaryDir tmp;
    ASSERT_TRUE(tmp.isValid());
    save_task t = full_task(tmp.path(), 4);
    EXPECT_TRUE(write_save_task(t).isEmpty());

    const QString depth = tmp.path() + QStringLiteral("/depth[4].png");
    const QString ir = tmp.path() + QStringLiteral("/ir[4].png");
    const QString pcd = tmp.path() + QStringLiteral("/PointCloud[4].pcd");
    ASSERT_TRUE(QFile::exists(depth));
    ASSERT_TRUE(QFile::exists(ir));
    ASSERT_TRUE(QFile::exists(pcd));

    // The depth PNG holds the colour image, channels swapped to B, G, R for
    // the file, so it reads back (as B, G, R) with R = 10 in the last channel.
    const cv::Mat back = cv::imread(depth.toStdString(), cv::IMREAD_UNCHANGED);
    ASSERT_EQ(back.type(), CV_8UC3);
    EXPECT_EQ(back.at<cv::Vec3b>(1, 2), cv::Vec3b(30, 20, 10));
    const cv::Mat ir_back = cv::imread(ir.toStdString(), cv::IMREAD_UNCHANGED);
    ASSERT_EQ(ir_back.type(), CV_8UC1);
    EXPECT_EQ(ir_back.at<uint8_t>(0, 0), 99);

    pcl::PointCloud<pcl::PointXYZRGB> loaded;
    ASSERT_EQ(pcl::io::loadPCDFile(pcd.toStdString(), loaded), 0);
    EXPECT_EQ(loaded.width, 3u);
    EXPECT_EQ(loaded.height, 2u);
    ASSERT_EQ(loaded.size(), 6u);
    EXPECT_FLOAT_EQ(loaded.points[5].x, 0.625f);
    EXPECT_FLOAT_EQ(loaded.points[5].z, 1005.f);
    EXPECT_EQ(loaded.points[5].r, 5);
    EXPECT_EQ(loaded.points[5].b, 200);
    // ASCII, not binary.
    QFile f(pcd);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_TRUE(f.readAll().contains("DATA ascii"));
    // The task's own cloud is released after writing.
    EXPECT_TRUE(t.cloud->empty());
}

struct failure_case
{
    const char* name;
    void (*spoil)(save_task&, const QString& tmp);
    int expected_failures;
};

class SaveTaskFailure : public ::testing::TestWithParam<failure_case>
{
};

TEST_P(SaveTaskFailure, ReportsFilesThatCouldNotBeWritten)
{
    QTemporaryDir tmp;
    ASSERT_TRUE(tmp.isValid());
    save_task t = full_task(tmp.path() + QStringLiteral("/batch"), 1);
    GetParam().spoil(t, tmp.path());
    const QStringList failed = write_save_task(t); // must not throw
    EXPECT_EQ(failed.size(), GetParam().expected_failures) << failed.join(QLatin1Char(' ')).toStdString();
}

const failure_case kFailures[] = {
    {"empty_cloud", [](save_task& t, const QString&) { t.cloud->clear(); }, 1},
    {"inconsistent_cloud", [](save_task& t, const QString&) { t.cloud->width = 99; }, 1},
    {"missing_cloud", [](save_task& t, const QString&) { t.cloud.reset(); }, 1},
    {"folder_under_a_file",
     [](save_task& t, const QString& tmp) {
         QFile f(tmp + QStringLiteral("/plain"));
         ASSERT_TRUE(f.open(QIODevice::WriteOnly));
         t.folder = tmp + QStringLiteral("/plain/batch");
     },
     3},
    {"folder_in_proc", [](save_task& t, const QString&) { t.folder = QStringLiteral("/proc/tessivue_batch"); }, 3},
};

INSTANTIATE_TEST_SUITE_P(Cases, SaveTaskFailure, ::testing::ValuesIn(kFailures),
                         [](const ::testing::TestParamInfo<failure_case>& info) {
                             return std::string(info.param.name);
                         });

struct counting_observer : ITaskObserver
{
    std::atomic<int> calls{0};
    void on_task_finished() override { ++calls; }
};

TEST(SavePool, ShutdownWritesEveryQueuedTask)
{
    QTemporaryDir tmp;
    ASSERT_TRUE(tmp.isValid());
    auto pool = save_pool::create(2);
    ASSERT_TRUE(pool);
    auto batch = std::make_shared<save_batch>();
    counting_observer observer;
    constexpr int kTasks = 40;
    for (int i = 1; i <= kTasks; ++i) {
        auto t = std::make_unique<save_task>();
        t->frame_index = i;
        t->folder = tmp.path();
        t->save_ir = true;
        t->ir_image = cv::Mat(48, 64, CV_8UC1, cv::Scalar(i));
        t->batch = batch;
        batch->add_task();
        pool->enqueue(std::move(t));
    }
    batch->close(&observer);
    pool->shutdown(); // right away: queued tasks are still written
    for (int i = 1; i <= kTasks; ++i)
        EXPECT_TRUE(QFile::exists(tmp.path() + QStringLiteral("/ir[%1].png").arg(i))) << i;
    EXPECT_EQ(observer.calls.load(), 1);
    EXPECT_EQ(pool->queued(), 0);
}

TEST(SavePool, RefusesWorkerCountsOutOfRange)
{
    EXPECT_FALSE(save_pool::create(0));
    EXPECT_FALSE(save_pool::create(1001));
    auto pool = save_pool::create(6);
    ASSERT_TRUE(pool);
    EXPECT_EQ(pool->workers(), 6);
}

TEST(SaveBatch, ReportsOnceAfterTheLastTaskWhateverTheOrder)
{
    counting_observer observer;
    // Closed before its tasks finish.
    save_batch a;
    a.add_task();
    a.add_task();
    a.close(&observer);
    a.task_done();
    EXPECT_EQ(observer.calls.load(), 0);
    a.task_done();
    EXPECT_EQ(observer.calls.load(), 1);
    // Every task finished before the batch is closed.
    save_batch b;
    b.add_task();
    b.task_done();
    EXPECT_EQ(observer.calls.load(), 1);
    b.close(&observer);
    EXPECT_EQ(observer.calls.load(), 2);
    EXPECT_TRUE(b.reported());
}

TEST(SaveBatch, FailuresReplaceTheCompletionMessage)
{
    message_recorder messages;
    counting_observer observer;
    save_batch batch;
    batch.add_task();
    batch.add_failure(QStringLiteral("/x/depth[1].png"));
    batch.close(&observer);
    batch.task_done();
    EXPECT_EQ(observer.calls.load(), 0);
    ASSERT_EQ(messages.texts().size(), 1);
    EXPECT_TRUE(messages.texts()[0].contains(QStringLiteral("/x/depth[1].png")));
    EXPECT_NE(messages.texts()[0], QStringLiteral("Save completed."));
}

} // namespace
