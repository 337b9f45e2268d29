#include "zavire/save_batch.h"
#include "zavire/save_pool.h"
#include "zavire/save_task.h"
#include "zavire/whole_file.h"

#include "message_recorder.h"
#include "support/file_size_limit.h"

#include "app/task_observer.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <opencv2/imgcodecs.hpp>
#include <pcl/io/pcd_io.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

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
    t.depth_image = cv::Mat(2, 3, CV_8UC3, cv::Scalar(10, 20, 30));  // R, G, B
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

struct failure_case {
    const char* name;
    void (*spoil)(save_task&, const QString& tmp);
    int expected_failures;
};

class SaveTaskFailure : public ::testing::TestWithParam<failure_case> {
};

TEST_P(SaveTaskFailure, ReportsFilesThatCouldNotBeWritten)
{
    QTemporaryDir tmp;
    ASSERT_TRUE(tmp.isValid());
    save_task t = full_task(tmp.path() + QStringLiteral("/batch"), 1);
    GetParam().spoil(t, tmp.path());
    const QStringList failed = write_save_task(t);  // must not throw
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

struct counting_observer : ITaskObserver {
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
    pool->shutdown();  // right away: queued tasks are still written
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

// Writers run below the acquisition loop's priority, so a batch being
// written cannot take the loop's time on a busy machine.
TEST(SavePool, WorkersRunAtALowerPriority)
{
    auto threads_at_nice = [](int nice) {
        int count = 0;
        QDir tasks(QStringLiteral("/proc/self/task"));
        for (const QString& tid : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
            QFile stat(tasks.filePath(tid + QStringLiteral("/stat")));
            if (!stat.open(QIODevice::ReadOnly))
                continue;
            const QString line = QString::fromLatin1(stat.readAll());
            // Fields after the command's closing parenthesis; nice is field 19.
            const QStringList fields = line.mid(line.lastIndexOf(QLatin1Char(')')) + 2).split(QLatin1Char(' '));
            if (fields.size() > 16 && fields[16].toInt() == nice)
                ++count;
        }
        return count;
    };
    const int before = threads_at_nice(save_pool::kWorkerNice);
    auto pool = save_pool::create(3);
    ASSERT_TRUE(pool);
    int now = before;
    for (int i = 0; i < 200 && now < before + 3; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        now = threads_at_nice(save_pool::kWorkerNice);
    }
    EXPECT_EQ(now, before + 3);
    pool->shutdown();
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

TEST(SaveTask, AFullDiskLeavesNoTruncatedOrEmptyFile)
{
    QTemporaryDir tmp;
    ASSERT_TRUE(tmp.isValid());
    save_task t = full_task(tmp.path(), 1);
    t.depth_image = cv::Mat(480, 640, CV_8UC3, cv::Scalar(1, 2, 3));  // about 900 kB as PNG
    t.ir_image = cv::Mat(480, 640, CV_8UC1, cv::Scalar(4));           // about 300 kB
    t.cloud = make_cloud(100, 100);                                   // about 400 kB of text
    QStringList failed;
    {
        file_size_limit limit(64 * 1024);
        failed = write_save_task(t);
    }
    EXPECT_EQ(failed.size(), 3) << failed.join(QLatin1Char(' ')).toStdString();
    // Neither the files nor their temporary names are left behind.
    EXPECT_TRUE(QDir(tmp.path()).entryList(QDir::Files | QDir::Hidden).isEmpty())
        << QDir(tmp.path()).entryList(QDir::Files | QDir::Hidden).join(QLatin1Char(' ')).toStdString();

    // With room the same task writes every file whole.
    save_task again = full_task(tmp.path(), 1);
    again.cloud = make_cloud(100, 100);
    EXPECT_TRUE(write_save_task(again).isEmpty());
    pcl::PointCloud<pcl::PointXYZRGB> loaded;
    ASSERT_EQ(pcl::io::loadPCDFile((tmp.path() + QStringLiteral("/PointCloud[1].pcd")).toStdString(), loaded), 0);
    EXPECT_EQ(loaded.size(), 10000u);
    EXPECT_EQ(QDir(tmp.path()).entryList(QDir::Files).size(), 3);
}

struct pcd_cut_case {
    const char* name;
    int cut_bytes;  // taken off the end of a complete file
    bool complete;
};

class PcdComplete : public ::testing::TestWithParam<pcd_cut_case> {
};

TEST_P(PcdComplete, CountsThePointLinesAgainstTheHeader)
{
    QTemporaryDir tmp;
    ASSERT_TRUE(tmp.isValid());
    const QString path = tmp.path() + QStringLiteral("/c.pcd");
    pcl::PCDWriter writer;
    ASSERT_EQ(writer.writeASCII(path.toStdString(), *make_cloud(4, 3), 8), 0);
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadWrite));
    QByteArray text = f.readAll();
    // The last line of the points, whole.
    const int last_line = text.lastIndexOf('\n', text.size() - 2) + 1;
    const int cut = GetParam().cut_bytes < 0 ? text.size() - last_line : GetParam().cut_bytes;
    ASSERT_TRUE(f.resize(text.size() - cut));
    f.close();
    EXPECT_EQ(pcd_file_complete(path), GetParam().complete);
}

INSTANTIATE_TEST_SUITE_P(Cuts, PcdComplete,
                         ::testing::Values(pcd_cut_case{"whole", 0, true},
                                           pcd_cut_case{"last_newline_missing", 1, false},
                                           pcd_cut_case{"mid_line", 7, false},
                                           pcd_cut_case{"last_line_missing", -1, false}),
                         [](const ::testing::TestParamInfo<pcd_cut_case>& info) {
                             return std::string(info.param.name);
                         });

TEST(PcdComplete, EmptyOrHeaderCutFilesAreNotComplete)
{
    QTemporaryDir tmp;
    ASSERT_TRUE(tmp.isValid());
    const QString empty = tmp.path() + QStringLiteral("/e.pcd");
    QFile f(empty);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("# .PCD v0.7\nVERSION 0.7\nPOINTS 3\n");
    f.close();
    EXPECT_FALSE(pcd_file_complete(empty));
    EXPECT_FALSE(pcd_file_complete(tmp.path() + QStringLiteral("/missing.pcd")));
}

TEST(SaveBatch, SuccessNamesTheFolders)
{
    message_recorder messages;
    counting_observer observer;
    save_batch batch;
    batch.set_folders({QStringLiteral("/d/RGBD/1_tof"), QStringLiteral("/d/RGBD/1_rgb")}, 2);
    batch.add_task();
    batch.close(&observer);
    batch.task_done();
    EXPECT_EQ(messages.texts(),
              QStringList{QStringLiteral("Save completed. Files in /d/RGBD/1_tof and /d/RGBD/1_rgb")});
    EXPECT_EQ(observer.calls.load(), 0);
}

struct interrupted_case {
    const char* name;
    int frames;    // captured before the interruption
    bool failure;  // one file of them could not be written
    const char* text;
};

class SaveBatchInterrupted : public ::testing::TestWithParam<interrupted_case> {
};

TEST_P(SaveBatchInterrupted, SaysWhyAndHowMuchWasSaved)
{
    const interrupted_case& c = GetParam();
    QTemporaryDir tmp;
    ASSERT_TRUE(tmp.isValid());
    const QString folder = tmp.path() + QStringLiteral("/b");
    ASSERT_TRUE(QDir().mkpath(folder));
    message_recorder messages;
    save_batch batch;
    batch.set_folders({folder}, 10);
    for (int i = 0; i < c.frames; ++i) {
        batch.add_task();
        batch.add_frame();
    }
    if (c.failure)
        batch.add_failure(folder + QStringLiteral("/depth[2].png"));
    batch.interrupt(QStringLiteral("the camera was disconnected"));
    batch.close(nullptr);
    if (c.frames > 0) {
        EXPECT_TRUE(messages.texts().isEmpty()) << "reported only when the written tasks are done";
    }
    for (int i = 0; i < c.frames; ++i)
        batch.task_done();
    ASSERT_EQ(messages.texts().size(), 1);
    EXPECT_EQ(messages.texts()[0], QString::fromUtf8(c.text).arg(folder));
    // A batch that got no frame leaves no empty folder.
    EXPECT_EQ(QDir(folder).exists(), c.frames > 0);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SaveBatchInterrupted,
    ::testing::Values(
        interrupted_case{"some_frames", 3, false,
                         "Save stopped: the camera was disconnected. 3 of 10 frames were saved in %1; 7 were not "
                         "captured."},
        interrupted_case{"with_a_failed_file", 3, true,
                         "Save stopped: the camera was disconnected. 3 of 10 frames were saved in %1; 7 were not "
                         "captured. 1 file(s) could not be written: %1/depth[2].png"},
        interrupted_case{"no_frame", 0, false,
                         "Save stopped: the camera was disconnected before any frame was captured; nothing was "
                         "written."}),
    [](const ::testing::TestParamInfo<interrupted_case>& info) { return std::string(info.param.name); });

}  // namespace
