// Saving batches against the virtual camera: folder and file names, the
// messages, refusals, folder failures, load and closing during a save.
#include "driver_fixture.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <opencv2/imgcodecs.hpp>
#include <pcl/io/pcd_io.h>

#include <gtest/gtest.h>

namespace {

const std::pair<QByteArray, QByteArray> kFast{"PVX3_PACING", "fast"};
const QString kCompleted = QStringLiteral("Save completed.");
const QString kRefused = QStringLiteral("The last save was not completed. Please try again later!");
const QString kFolderFailed = QStringLiteral("folder creation failed,check permissions");
const QString kNotWritable = QStringLiteral("The folder does not have write permission!");

// The single batch folder under `parent` whose name is a 14-digit stamp and
// `suffix`.
QString batch_folder(const QString& parent, const QString& suffix)
{
    const QRegularExpression pattern(QStringLiteral("^\\d{14}_%1$").arg(suffix));
    QStringList found;
    for (const QString& name : QDir(parent).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        if (pattern.match(name).hasMatch())
            found << name;
    }
    return found.size() == 1 ? parent + QLatin1Char('/') + found[0] : QString();
}

QStringList files_in(const QString& folder)
{
    QStringList names = QDir(folder).entryList(QDir::Files);
    names.sort();
    return names;
}

QStringList tof_names(int frames, bool depth, bool ir, bool cloud, bool ir_dump = true)
{
    QStringList names;
    for (int i = 1; i <= frames; ++i) {
        names << QStringLiteral("Depth[%1].png").arg(i) << QStringLiteral("Depth[%1].json").arg(i);
        if (ir_dump)
            names << QStringLiteral("IR[%1].png").arg(i) << QStringLiteral("IR[%1].json").arg(i);
        if (depth)
            names << QStringLiteral("depth[%1].png").arg(i);
        if (ir)
            names << QStringLiteral("ir[%1].png").arg(i);
        if (cloud)
            names << QStringLiteral("PointCloud[%1].pcd").arg(i);
    }
    names.sort();
    return names;
}

// Heavy batches run at 320 x 240: the load is the same per frame, the text
// point clouds are four times smaller.
void use_small_depth(driver_harness& h)
{
    const int reports = h.count(QStringLiteral("finish_change_frame"));
    h.driver()->slot_change_stram(320, 240, 0);
    ASSERT_TRUE(h.wait_for(QStringLiteral("finish_change_frame"), reports + 1));
    ASSERT_TRUE(h.wait_for_more(QStringLiteral("update_date_vec")));
}

bool wait_for_message(driver_harness& h, const QString& text, int n = 1, int timeout_ms = 60000)
{
    return process_until([&] { return h.messages.count(text) >= n; }, timeout_ms);
}

// Completion messages: "Save completed." followed by the batch's folders.
QStringList completions(const driver_harness& h)
{
    QStringList found;
    for (const QString& t : h.messages.texts())
        if (t.startsWith(kCompleted))
            found << t;
    return found;
}

bool wait_for_completed(driver_harness& h, int n = 1, int timeout_ms = 60000)
{
    return process_until([&] { return completions(h).size() >= n; }, timeout_ms);
}

TEST(SaveTof, BatchOfThreeWritesExactlyTheNamedFiles)
{
    QTemporaryDir tmp;
    ASSERT_TRUE(tmp.isValid());
    camera_env env({kFast});
    driver_harness h;
    h.open();
    ASSERT_TRUE(h.start_tof());
    h.driver()->OnSlotSaveTOF(3, true, true, true, tmp.path());
    ASSERT_TRUE(wait_for_completed(h));

    const QString folder = batch_folder(tmp.path(), QStringLiteral("tof"));
    ASSERT_FALSE(folder.isEmpty()) << QDir(tmp.path()).entryList().join(QLatin1Char(' ')).toStdString();
    EXPECT_EQ(files_in(folder), tof_names(3, true, true, true));
    // The message says where the files went.
    EXPECT_EQ(completions(h).value(0), kCompleted + QStringLiteral(" Files in ") + folder);

    for (int i = 1; i <= 3; ++i) {
        pcl::PointCloud<pcl::PointXYZRGB> cloud;
        const QString pcd = folder + QStringLiteral("/PointCloud[%1].pcd").arg(i);
        ASSERT_EQ(pcl::io::loadPCDFile(pcd.toStdString(), cloud), 0);
        EXPECT_EQ(cloud.width, 640u);
        EXPECT_EQ(cloud.height, 480u);
        EXPECT_EQ(cloud.size(), 640u * 480u);
        // On the 2D page the cloud is coloured from the same frame's render
        // data as the depth image, so the files agree pixel by pixel.
        const cv::Mat depth = cv::imread((folder + QStringLiteral("/depth[%1].png").arg(i)).toStdString());
        ASSERT_EQ(depth.size(), cv::Size(640, 480));
        int mismatches = 0;
        for (int p = 0; p < 640 * 480; p += 97) {
            const cv::Vec3b bgr = depth.at<cv::Vec3b>(p / 640, p % 640);
            const auto& pt = cloud.points[static_cast<size_t>(p)];
            mismatches += (pt.b != bgr[0] || pt.g != bgr[1] || pt.r != bgr[2]) ? 1 : 0;
        }
        EXPECT_EQ(mismatches, 0) << "frame " << i;
        const cv::Mat ir = cv::imread((folder + QStringLiteral("/ir[%1].png").arg(i)).toStdString(), cv::IMREAD_UNCHANGED);
        EXPECT_EQ(ir.type(), CV_8UC1);
        EXPECT_EQ(ir.size(), cv::Size(640, 480));
    }

    // Exactly one completion message, even after more frames have passed.
    ASSERT_TRUE(h.wait_for_more(QStringLiteral("update_date_vec"), 3));
    h.close();
    QCoreApplication::processEvents();
    EXPECT_EQ(completions(h).size(), 1);
}

struct kinds_case {
    const char* name;
    bool depth, cloud, ir;
};

class SaveTofKinds : public ::testing::TestWithParam<kinds_case> {
};

TEST_P(SaveTofKinds, OnlyTheChosenKinds)
{
    const kinds_case& c = GetParam();
    QTemporaryDir tmp;
    ASSERT_TRUE(tmp.isValid());
    camera_env env({kFast});
    driver_harness h;
    h.open();
    ASSERT_TRUE(h.start_tof());
    h.driver()->OnSlotSaveTOF(2, c.depth, c.cloud, c.ir, tmp.path());
    ASSERT_TRUE(wait_for_completed(h));
    const QString folder = batch_folder(tmp.path(), QStringLiteral("tof"));
    EXPECT_EQ(files_in(folder), tof_names(2, c.depth, c.ir, c.cloud));
}

const kinds_case kKinds[] = {
    {"raw_only", false, false, false},
    {"depth_only", true, false, false},
    {"ir_only", false, false, true},
    {"cloud_only", false, true, false},
};
INSTANTIATE_TEST_SUITE_P(Kinds, SaveTofKinds, ::testing::ValuesIn(kKinds),
                         [](const ::testing::TestParamInfo<kinds_case>& info) {
                             return std::string(info.param.name);
                         });

TEST(SaveRgb, BatchOfTwoColourFrames)
{
    QTemporaryDir tmp;
    ASSERT_TRUE(tmp.isValid());
    camera_env env({kFast});
    driver_harness h;
    h.open();
    ASSERT_TRUE(h.wait_for(QStringLiteral("reset_resolution")));
    h.driver()->start_rgb();
    h.driver()->wake();
    ASSERT_TRUE(h.wait_for_more(QStringLiteral("show_rgb")));
    h.driver()->OnSlotSaveRGB(2, tmp.path());
    const QString folder = batch_folder(tmp.path(), QStringLiteral("rgb"));
    ASSERT_FALSE(folder.isEmpty());
    ASSERT_TRUE(process_until([&] { return QFile::exists(folder + QStringLiteral("/rgb[2].png")); }));
    // Two more frames pass: the batch has ended at two files.
    ASSERT_TRUE(h.wait_for_more(QStringLiteral("show_rgb"), 2));
    EXPECT_EQ(files_in(folder), (QStringList{QStringLiteral("rgb[1].png"), QStringLiteral("rgb[2].png")}));
    const cv::Mat rgb = cv::imread((folder + QStringLiteral("/rgb[1].png")).toStdString(), cv::IMREAD_UNCHANGED);
    EXPECT_EQ(rgb.type(), CV_8UC3);
    EXPECT_EQ(rgb.size(), cv::Size(1920, 1080));
    // Colour batches report like the others, naming their folder.
    ASSERT_TRUE(wait_for_completed(h));
    EXPECT_EQ(completions(h), QStringList{kCompleted + QStringLiteral(" Files in ") + folder});

    // The next batch numbers from 1 again.
    h.driver()->OnSlotSaveRGB(1, tmp.path() + QStringLiteral("/second"));
    const QString second = batch_folder(tmp.path() + QStringLiteral("/second"), QStringLiteral("rgb"));
    ASSERT_TRUE(process_until([&] { return QFile::exists(second + QStringLiteral("/rgb[1].png")); }));
}

TEST(SaveRgbd, DepthAndColourNumbersMatch)
{
    QTemporaryDir tmp;
    ASSERT_TRUE(tmp.isValid());
    camera_env env({kFast});
    driver_harness h;
    h.open();
    ASSERT_TRUE(h.wait_for(QStringLiteral("reset_resolution")));
    h.driver()->start_rgbd();
    h.driver()->wake();
    ASSERT_TRUE(h.wait_for(QStringLiteral("finish_change_frame"), 2));
    ASSERT_TRUE(h.wait_for_more(QStringLiteral("show_rgb"), 1, 60000));
    // Point clouds of registered frames have 1920 x 1080 points; writing them
    // as text takes long, so this batch saves the images only (the colouring
    // of RGBD clouds is checked in the conversion tests).
    h.driver()->OnSlotSaveRGBD(2, true, false, tmp.path());
    ASSERT_TRUE(wait_for_completed(h));

    const QString tof = batch_folder(tmp.path() + QStringLiteral("/RGBD"), QStringLiteral("tof"));
    const QString rgb = batch_folder(tmp.path() + QStringLiteral("/RGBD"), QStringLiteral("rgb"));
    ASSERT_FALSE(tof.isEmpty());
    ASSERT_FALSE(rgb.isEmpty());
    EXPECT_EQ(QFileInfo(tof).fileName().left(14), QFileInfo(rgb).fileName().left(14));  // one stamp
    EXPECT_EQ(completions(h).value(0), kCompleted + QStringLiteral(" Files in ") + tof + QStringLiteral(" and ") + rgb);
    EXPECT_EQ(files_in(tof), tof_names(2, true, false, false, false));
    EXPECT_EQ(files_in(rgb), (QStringList{QStringLiteral("rgb[1].png"), QStringLiteral("rgb[2].png")}));
    for (int i = 1; i <= 2; ++i) {
        const cv::Mat depth = cv::imread((tof + QStringLiteral("/depth[%1].png").arg(i)).toStdString());
        const cv::Mat colour = cv::imread((rgb + QStringLiteral("/rgb[%1].png").arg(i)).toStdString());
        EXPECT_EQ(depth.size(), cv::Size(1920, 1080));  // registered to the colour image
        EXPECT_EQ(colour.size(), cv::Size(1920, 1080));
    }
}

TEST(SaveRefusal, WhileABatchRuns)
{
    QTemporaryDir tmp;
    ASSERT_TRUE(tmp.isValid());
    camera_env env({kFast});
    driver_harness h;
    h.open();
    ASSERT_TRUE(h.start_tof());
    h.driver()->OnSlotSaveTOF(20, false, false, false, tmp.path());
    h.driver()->OnSlotSaveTOF(1, true, false, false, tmp.path() + QStringLiteral("/x"));
    h.driver()->OnSlotSaveRGBD(1, true, false, tmp.path() + QStringLiteral("/y"));
    EXPECT_EQ(h.messages.count(kRefused), 2);
    EXPECT_FALSE(QDir(tmp.path() + QStringLiteral("/x")).exists());
    // The refused requests changed nothing: the first batch completes alone.
    ASSERT_TRUE(wait_for_completed(h));
    EXPECT_EQ(files_in(batch_folder(tmp.path(), QStringLiteral("tof"))).size(), 20 * 4);
    // Afterwards a new batch is accepted.
    h.driver()->OnSlotSaveTOF(1, false, false, false, tmp.path() + QStringLiteral("/z"));
    EXPECT_EQ(h.messages.count(kRefused), 2);
    ASSERT_TRUE(wait_for_completed(h, 2));
}

TEST(SaveFolders, CreationFailureUnderAFile)
{
    QTemporaryDir tmp;
    ASSERT_TRUE(tmp.isValid());
    QFile plain(tmp.path() + QStringLiteral("/plain"));
    ASSERT_TRUE(plain.open(QIODevice::WriteOnly));
    plain.close();
    camera_env env({kFast});
    driver_harness h;
    h.open();
    ASSERT_TRUE(h.start_tof());
    h.driver()->OnSlotSaveTOF(2, true, true, true, plain.fileName());
    h.driver()->OnSlotSaveRGB(2, plain.fileName());
    h.driver()->OnSlotSaveRGBD(2, true, true, plain.fileName());
    EXPECT_EQ(h.messages.count(kFolderFailed), 3);
    // No batch started: a valid request is accepted at once.
    h.driver()->OnSlotSaveTOF(1, false, false, false, tmp.path());
    EXPECT_EQ(h.messages.count(kRefused), 0);
    ASSERT_TRUE(wait_for_completed(h));
}

TEST(SaveFolders, ProbeFailureEndsTheBatchAndReportsTheLostFiles)
{
    QTemporaryDir tmp;
    ASSERT_TRUE(tmp.isValid());
    // The batch folder is a link to /proc: it exists, but refuses new files
    // even for root. Links cover the next seconds, whatever stamp is taken.
    const QDateTime now = QDateTime::currentDateTime();
    for (int s = 0; s < 6; ++s) {
        const QString stamp = now.addSecs(s).toString(QStringLiteral("yyyyMMddhhmmss"));
        ASSERT_TRUE(QFile::link(QStringLiteral("/proc"), tmp.path() + QLatin1Char('/') + stamp + QStringLiteral("_tof")));
    }
    camera_env env({kFast});
    driver_harness h;
    h.open();
    ASSERT_TRUE(h.start_tof());
    h.driver()->OnSlotSaveTOF(5, true, false, false, tmp.path());
    ASSERT_TRUE(wait_for_message(h, kNotWritable));
    // The frame of that pass is still handed over as the last of the batch;
    // its files cannot be written, which is said instead of "Save completed."
    ASSERT_TRUE(process_until([&] {
        for (const QString& t : h.messages.texts())
            if (t.contains(QStringLiteral("could not be written")))
                return true;
        return false;
    }));
    EXPECT_EQ(h.messages.count(kNotWritable), 1);
    EXPECT_EQ(completions(h).size(), 0);
    // The batch has ended: a new request is accepted.
    h.driver()->OnSlotSaveTOF(1, false, false, false, tmp.path() + QStringLiteral("/ok"));
    EXPECT_EQ(h.messages.count(kRefused), 0);
    ASSERT_TRUE(wait_for_completed(h));
}

TEST(SaveLoad, ThirtyFramesWithEveryKind)
{
    QTemporaryDir tmp;
    ASSERT_TRUE(tmp.isValid());
    camera_env env({kFast});
    driver_harness h;
    h.open();
    ASSERT_TRUE(h.start_tof());
    use_small_depth(h);
    h.driver()->OnSlotSaveTOF(30, true, true, true, tmp.path());
    ASSERT_TRUE(wait_for_completed(h, 1, 120000));
    const QString folder = batch_folder(tmp.path(), QStringLiteral("tof"));
    EXPECT_EQ(files_in(folder), tof_names(30, true, true, true));
    for (int i = 1; i <= 30; ++i)
        EXPECT_GT(QFileInfo(folder + QStringLiteral("/PointCloud[%1].pcd").arg(i)).size(), 320 * 240 * 10) << i;
    h.close();
    QCoreApplication::processEvents();
    EXPECT_EQ(completions(h).size(), 1);
}

TEST(SaveClose, CapturedFramesAreWrittenBeforeTheThreadEnds)
{
    QTemporaryDir tmp;
    ASSERT_TRUE(tmp.isValid());
    camera_env env({kFast});
    driver_harness h;
    h.open();
    ASSERT_TRUE(h.start_tof());
    use_small_depth(h);
    h.driver()->OnSlotSaveTOF(30, true, true, true, tmp.path());
    const QString folder = batch_folder(tmp.path(), QStringLiteral("tof"));
    ASSERT_FALSE(folder.isEmpty());
    ASSERT_TRUE(process_until([&] { return QFile::exists(folder + QStringLiteral("/Depth[6].png")); }));
    h.close();

    // Every frame whose raw dump exists was captured and handed over: its
    // images and cloud must be on disk too.
    int captured = 0;
    for (int i = 1; i <= 30; ++i) {
        if (!QFile::exists(folder + QStringLiteral("/Depth[%1].png").arg(i)))
            continue;
        ++captured;
        EXPECT_TRUE(QFile::exists(folder + QStringLiteral("/depth[%1].png").arg(i))) << i;
        EXPECT_TRUE(QFile::exists(folder + QStringLiteral("/ir[%1].png").arg(i))) << i;
        EXPECT_TRUE(QFile::exists(folder + QStringLiteral("/PointCloud[%1].pcd").arg(i))) << i;
    }
    EXPECT_GE(captured, 6);
}

}  // namespace
