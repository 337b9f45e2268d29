// What the acquisition object does when the camera fails it: unplugged while
// streaming and saving, a stream that does not start, an integration time
// the camera keeps refusing.
#include "driver_fixture.h"

#include <parvolux3/pvx3.h>
#include <parvolux3/pvx3_testing.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

namespace {

const std::pair<QByteArray, QByteArray> kFast{"PVX3_PACING", "fast"};

QString only_folder(const QString& parent)
{
    const QStringList dirs = QDir(parent).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    return dirs.size() == 1 ? parent + QLatin1Char('/') + dirs[0] : QString();
}

QString message_starting(const driver_harness& h, const QString& start)
{
    for (const QString& t : h.messages.texts())
        if (t.startsWith(start))
            return t;
    return QString();
}

TEST(CameraLost, DuringASaveTheCapturedFramesAreWrittenAndCounted)
{
    QTemporaryDir tmp;
    ASSERT_TRUE(tmp.isValid());
    camera_env env({kFast});
    pvx3::context* ctx = pvx3::pvx3_create_context();
    driver_harness h;
    h.open(ctx);
    ASSERT_TRUE(h.start_tof());
    h.driver()->OnSlotSaveTOF(99, true, false, true, tmp.path());
    const QString folder = only_folder(tmp.path());
    ASSERT_FALSE(folder.isEmpty());
    ASSERT_TRUE(process_until([&] { return QFile::exists(folder + QStringLiteral("/Depth[4].png")); }));

    QElapsedTimer since_loss;
    since_loss.start();
    ASSERT_TRUE(pvx3::testing::unplug_camera(ctx));
    ASSERT_TRUE(h.wait_for(QStringLiteral("fail_open_drive"), 1, 10000));
    EXPECT_LT(since_loss.elapsed(), 2000);
    EXPECT_FALSE(h.driver()->m_tof_on);

    // One report for the batch, naming how much was saved and where.
    const QString start = QStringLiteral("Save stopped: the camera was disconnected.");
    ASSERT_TRUE(process_until([&] { return !message_starting(h, start).isEmpty(); }, 30000));
    const QString report = message_starting(h, start);
    const QRegularExpression counts(QStringLiteral("(\\d+) of 99 frames were saved in (.*); (\\d+) were not captured\\.$"));
    const QRegularExpressionMatch m = counts.match(report);
    ASSERT_TRUE(m.hasMatch()) << report.toStdString();
    const int saved = m.captured(1).toInt();
    EXPECT_EQ(m.captured(2), folder);
    EXPECT_EQ(saved + m.captured(3).toInt(), 99);
    EXPECT_GE(saved, 4);
    // Every frame counted as saved is on disk, whole; none beyond it.
    for (int i = 1; i <= saved; ++i) {
        EXPECT_TRUE(QFile::exists(folder + QStringLiteral("/depth[%1].png").arg(i))) << i;
        EXPECT_TRUE(QFile::exists(folder + QStringLiteral("/ir[%1].png").arg(i))) << i;
    }
    EXPECT_FALSE(QFile::exists(folder + QStringLiteral("/depth[%1].png").arg(saved + 1)));
    EXPECT_TRUE(QDir(folder).entryList({QStringLiteral("*.part")}, QDir::Files).isEmpty());
    EXPECT_EQ(h.count(QStringLiteral("fail_open_drive")), 1);
    EXPECT_LT(h.close(), 2000);
}

TEST(CameraLost, BeforeTheFirstFrameOfASaveNoEmptyFolderStays)
{
    QTemporaryDir tmp;
    ASSERT_TRUE(tmp.isValid());
    // One frame set every 3 s: the save cannot catch one before the loss.
    camera_env env({{QByteArray("PVX3_FRAME_DELAY_MS"), QByteArray("3000")}});
    pvx3::context* ctx = pvx3::pvx3_create_context();
    driver_harness h;
    h.open(ctx);
    ASSERT_TRUE(h.start_tof());
    ASSERT_TRUE(h.wait_for(QStringLiteral("update_date_vec")));
    h.driver()->OnSlotSaveTOF(5, true, true, true, tmp.path());
    ASSERT_FALSE(only_folder(tmp.path()).isEmpty());
    ASSERT_TRUE(pvx3::testing::unplug_camera(ctx));
    ASSERT_TRUE(h.wait_for(QStringLiteral("fail_open_drive"), 1, 10000));
    ASSERT_TRUE(process_until([&] { return !message_starting(h, QStringLiteral("Save stopped")).isEmpty(); }));
    EXPECT_TRUE(message_starting(h, QStringLiteral("Save stopped")).contains(QStringLiteral("nothing was written")));
    EXPECT_TRUE(only_folder(tmp.path()).isEmpty()) << "the empty batch folder is removed";
    h.close();
}

TEST(CameraLost, WithoutASaveOnlyTheSignal)
{
    camera_env env({kFast, {"PVX3_LOST_AFTER", "20"}});
    driver_harness h;
    h.open();
    ASSERT_TRUE(h.start_tof());
    ASSERT_TRUE(h.wait_for(QStringLiteral("fail_open_drive"), 1, 30000));
    // The loop waits for the close instead of spinning on the dead pipeline.
    const int frames = h.count(QStringLiteral("update_date_vec"));
    QThread::msleep(200);
    EXPECT_EQ(h.count(QStringLiteral("update_date_vec")), frames);
    EXPECT_TRUE(h.messages.texts().isEmpty());
    EXPECT_LT(h.close(), 1000);
}

struct start_failure_case {
    const char* name;
    bool rgb_running;  // the colour module streams before the depth start
    bool rgbd;         // the fusion is started instead of the depth module
    int module;        // reported by sig_stream_failed
};

class StreamStart : public ::testing::TestWithParam<start_failure_case> {
};

TEST_P(StreamStart, RefusedStartIsReportedAndTheOthersKeepRunning)
{
    const start_failure_case& c = GetParam();
    camera_env env({kFast, {"PVX3_RECONSTRUCTION_LIBRARY", "/nonexistent/libqzreconstruction.so"}});
    driver_harness h;
    h.open();
    ASSERT_TRUE(h.wait_for(QStringLiteral("reset_resolution")));
    if (c.rgb_running) {
        ASSERT_TRUE(h.driver()->start_rgb());
        h.driver()->wake();
        ASSERT_TRUE(h.wait_for(QStringLiteral("show_rgb"), 2));
    }
    const int starts = h.count(QStringLiteral("finish_change_frame"));
    if (c.rgbd) {
        ASSERT_TRUE(h.driver()->start_rgbd());
    } else
        ASSERT_TRUE(h.driver()->start_tof());
    h.driver()->wake();
    ASSERT_TRUE(h.wait_for(QStringLiteral("stream_failed")));
    EXPECT_EQ(h.events(QStringLiteral("stream_failed"))[0].args[0].toInt(), c.module);
    // No start is reported for the refused module.
    EXPECT_EQ(h.count(QStringLiteral("finish_change_frame")), starts);
    EXPECT_FALSE(h.driver()->m_tof_on);
    EXPECT_FALSE(h.driver()->m_rgbd_on);
    if (c.rgb_running) {
        EXPECT_TRUE(h.driver()->m_rgb_on);
        EXPECT_TRUE(h.wait_for_more(QStringLiteral("show_rgb"), 3));
    }
    EXPECT_EQ(h.count(QStringLiteral("update_date_vec")), 0);
    EXPECT_LT(h.close(), 1000);
}

INSTANTIATE_TEST_SUITE_P(Cases, StreamStart,
                         ::testing::Values(start_failure_case{"depth_alone", false, false, 0},
                                           start_failure_case{"depth_beside_rgb", true, false, 0},
                                           start_failure_case{"rgbd", false, true, 2}),
                         [](const ::testing::TestParamInfo<start_failure_case>& info) {
                             return std::string(info.param.name);
                         });

TEST(IntegrationTimeRefused, PastTheSettleTimeTheRefusalIsSaid)
{
    const QString wait = QString::fromUtf8("The integral_time cannot be changed at this time. Please wait"
                                           "\xc2\xb7\xc2\xb7\xc2\xb7");
    const QString refused = QStringLiteral("The camera refused to change the integral_time; the previous value is kept.");
    camera_env env({kFast, {"PVX3_REFUSE_SET_OPTION", "1"}});
    driver_harness h;
    h.open();
    ASSERT_TRUE(h.start_tof());
    h.driver()->slot_integral_time(1200);
    EXPECT_EQ(h.messages.texts(), QStringList{wait});
    QThread::msleep(driver_operate::kIntegralTimeSettleMs + 100);
    h.driver()->slot_integral_time(1300);
    h.driver()->slot_integral_time(1400);
    EXPECT_EQ(h.messages.texts(), (QStringList{wait, refused, refused}));
    EXPECT_EQ(h.count(QStringLiteral("integral_time_finish")), 3);
    for (const driver_event& e : h.events(QStringLiteral("integral_time_finish")))
        EXPECT_FALSE(e.args[0].toBool());

    // A new start settles anew: "Please wait" first again.
    const int reports = h.count(QStringLiteral("finish_change_frame"));
    h.driver()->slot_change_stram(320, 240, 0);
    ASSERT_TRUE(h.wait_for(QStringLiteral("finish_change_frame"), reports + 1));
    h.messages.clear();
    h.driver()->slot_integral_time(1500);
    EXPECT_EQ(h.messages.texts(), QStringList{wait});
    h.close();
}

}  // namespace
