// Recording from the sample loop: what the file holds after module, setting
// and raw-frame changes made while recording.
#include "driver_fixture.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>

#include <recording/reader.h>

namespace {

using recording::bit;
using recording::stream;

bool has_change(const recording::reader& r, const std::string& name)
{
    for (const recording::settings_change& c : r.settings_changes())
        if (std::find(c.changed.begin(), c.changed.end(), name) != c.changed.end())
            return true;
    return false;
}

TEST(DriverRecord, ChangesWhileRecordingAreRecorded)
{
    QTemporaryDir dir;
    driver_harness h;
    h.open();
    ASSERT_TRUE(h.start_tof());
    driver_operate* d = h.driver();
    ASSERT_TRUE(d->offers_raw_frames());
    const QString path = dir.filePath(QStringLiteral("session.bag"));
    QString error;
    ASSERT_TRUE(d->start_recording(path, true, error)) << error.toStdString();
    EXPECT_TRUE(d->is_recording());
    EXPECT_FALSE(d->start_recording(dir.filePath(QStringLiteral("second.bag")), false, error));
    ASSERT_TRUE(h.wait_for_more(QStringLiteral("update_date_vec"), 10));
    // A setting and a module switched while recording.
    bool filter_on = true;
    ASSERT_TRUE(d->get_filter(filter_on));
    d->set_filter(!filter_on);
    ASSERT_TRUE(h.wait_for_more(QStringLiteral("update_date_vec"), 5));
    d->start_rgb();
    d->wake();
    ASSERT_TRUE(h.wait_for_more(QStringLiteral("show_rgb"), 5));
    const driver_operate::record_state running = d->recording_state();
    EXPECT_TRUE(running.active);
    EXPECT_TRUE(running.raw_frames);
    EXPECT_GT(running.status.frame_sets_submitted, 0u);

    driver_operate::record_state done;
    ASSERT_TRUE(d->stop_recording(done, error)) << error.toStdString();
    EXPECT_FALSE(d->is_recording());
    EXPECT_EQ(done.path, path);
    EXPECT_FALSE(d->stop_recording(done, error));
    // Streaming goes on after the recording (the raw stream is switched off).
    ASSERT_TRUE(h.wait_for_more(QStringLiteral("update_date_vec"), 3));
    h.close();

    std::string why;
    auto r = recording::reader::open(path.toStdString(), why);
    ASSERT_TRUE(r) << why;
    EXPECT_EQ(r->header().raw_phase, "recorded");
    EXPECT_EQ(r->streams(), bit(stream::depth) | bit(stream::ir) | bit(stream::colour) | bit(stream::raw_phase));
    EXPECT_TRUE(has_change(*r, "filter"));
    EXPECT_TRUE(has_change(*r, "color_resolution"));
    EXPECT_GE(r->calibration_count(), 1u);
    ASSERT_TRUE(r->summary());
    EXPECT_EQ(r->summary()->frame_sets_written, done.status.frame_sets_written);
    EXPECT_EQ(r->settings_at(r->size() - 1).filter, filter_on ? 0 : 1);
}

TEST(DriverRecord, UnwritableFileIsRefusedInWords)
{
    driver_harness h;
    h.open();
    ASSERT_TRUE(h.start_tof());
    QString error;
    EXPECT_FALSE(h.driver()->start_recording(QStringLiteral("/proc/no/such/folder/x.bag"), false, error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_FALSE(h.driver()->is_recording());
    h.close();
}

}  // namespace
