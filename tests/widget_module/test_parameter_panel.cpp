// The parameter panel: resolution commit and revert, integration time and
// the distance slider rules.
#include <QSignalSpy>
#include <gtest/gtest.h>

#include "parameter_setting_widget.h"

namespace {

const QChar kTimes(0x00D7);

tof_param_info record()
{
    tof_param_info info;
    info.resolutions = {{320, 240}, {640, 480}, {160, 120}};
    info.width = 640;
    info.height = 480;
    info.integral_time_min = 100;
    info.integral_time_max = 1000;
    info.integral_time = 500;
    info.distance_limit_min = 0;
    info.distance_limit_max = 3000;
    info.distance_min = 200;
    info.distance_max = 2000;
    return info;
}

QString res(int w, int h)
{
    return QString::number(w) + kTimes + QString::number(h);
}

TEST(ParameterPanel, BuildsFromTheRecord)
{
    parameter_setting_widget panel(record());
    ASSERT_EQ(panel.combo_resolution->count(), 3);
    // Ascending width order.
    EXPECT_EQ(panel.combo_resolution->itemText(0), res(160, 120));
    EXPECT_EQ(panel.combo_resolution->itemText(2), res(640, 480));
    EXPECT_EQ(panel.combo_resolution->currentText(), res(640, 480));
    EXPECT_EQ(panel.committed_resolution(), res(640, 480));
    EXPECT_EQ(panel.slider_integral_time->value(), 500);
    EXPECT_EQ(panel.edit_integral_time->text(), "500us");
    EXPECT_EQ(panel.slider_distance_range_min->value(), 200);
    EXPECT_EQ(panel.label_distance_range_min->text(), "200mm");
    EXPECT_EQ(panel.slider_distance_range_max->value(), 2000);
    EXPECT_EQ(panel.edit_distance_range->text(), "2000mm");
    EXPECT_EQ(panel.label_resolution->text(), "Resolution");
    EXPECT_EQ(panel.label_distance_range_2->text(), "Max distance range");
    EXPECT_EQ(panel.windowTitle(), "Parameter Setting");
    EXPECT_EQ(panel.size(), QSize(290, 188));
}

TEST(ParameterPanel, IntegrationTimeAboveMaximumStartsAtMaximum)
{
    tof_param_info info = record();
    info.integral_time = 5000;
    parameter_setting_widget panel(info);
    EXPECT_EQ(panel.last_integral_time(), 1000);
    EXPECT_EQ(panel.slider_integral_time->value(), 1000);
    EXPECT_EQ(panel.edit_integral_time->text(), "1000us");
}

TEST(ParameterPanel, CommittedResolutionIsSilent)
{
    parameter_setting_widget panel(record());
    QSignalSpy spy(&panel, &parameter_setting_widget::sig_resolution_change);
    panel.combo_resolution->setCurrentText(res(640, 480));
    panel.load_param_info(record());
    EXPECT_EQ(spy.count(), 0);
}

TEST(ParameterPanel, OtherResolutionEmitsItsSize)
{
    parameter_setting_widget panel(record());
    QSignalSpy spy(&panel, &parameter_setting_widget::sig_resolution_change);
    panel.combo_resolution->setCurrentText(res(320, 240));
    ASSERT_EQ(spy.count(), 1);
    EXPECT_EQ(spy.at(0).at(0).toInt(), 320);
    EXPECT_EQ(spy.at(0).at(1).toInt(), 240);
    // Still pending: the committed text is unchanged.
    EXPECT_EQ(panel.committed_resolution(), res(640, 480));
}

TEST(ParameterPanel, AcceptedResolutionIsCommitted)
{
    parameter_setting_widget panel(record());
    panel.combo_resolution->setCurrentText(res(320, 240));
    panel.finish_resolution_change(true);
    EXPECT_EQ(panel.committed_resolution(), res(320, 240));
    QSignalSpy spy(&panel, &parameter_setting_widget::sig_resolution_change);
    panel.combo_resolution->setCurrentText(res(320, 240));
    EXPECT_EQ(spy.count(), 0);
}

TEST(ParameterPanel, RefusedResolutionRevertsSilently)
{
    parameter_setting_widget panel(record());
    QSignalSpy spy(&panel, &parameter_setting_widget::sig_resolution_change);
    panel.combo_resolution->setCurrentText(res(160, 120));
    ASSERT_EQ(spy.count(), 1);
    panel.finish_resolution_change(false);
    EXPECT_EQ(panel.combo_resolution->currentText(), res(640, 480));
    EXPECT_EQ(panel.committed_resolution(), res(640, 480));
    EXPECT_EQ(spy.count(), 1);
}

TEST(ParameterPanel, ResolutionLockAndEnable)
{
    parameter_setting_widget panel(record());
    panel.set_resolution_locked(true);
    EXPECT_FALSE(panel.combo_resolution->isEnabled());
    panel.set_resolution_locked(false);
    EXPECT_TRUE(panel.combo_resolution->isEnabled());
    panel.set_resolution_enabled(false);
    EXPECT_FALSE(panel.combo_resolution->isEnabled());
}

TEST(ParameterPanel, IntegrationTimeMoveEmitsOnce)
{
    parameter_setting_widget panel(record());
    QSignalSpy spy(&panel, &parameter_setting_widget::sig_integral_time_change);
    panel.slider_integral_time->setValue(700);
    ASSERT_EQ(spy.count(), 1);
    EXPECT_EQ(spy.at(0).at(0).toInt(), 700);
    EXPECT_EQ(panel.edit_integral_time->text(), "700us");
}

TEST(ParameterPanel, RefusedIntegrationTimeRevertsWithoutNewRequest)
{
    parameter_setting_widget panel(record());
    QSignalSpy spy(&panel, &parameter_setting_widget::sig_integral_time_change);
    panel.slider_integral_time->setValue(600);
    panel.slot_change_integral_time_finish(true);
    EXPECT_EQ(panel.last_integral_time(), 600);
    panel.slider_integral_time->setValue(900);
    panel.slot_change_integral_time_finish(false);
    EXPECT_EQ(panel.slider_integral_time->value(), 600);
    EXPECT_EQ(panel.edit_integral_time->text(), "600us");
    EXPECT_EQ(spy.count(), 2);  // 600 and 900; the revert asked for nothing
    // Still connected after the revert.
    panel.slider_integral_time->setValue(650);
    EXPECT_EQ(spy.count(), 3);
}

TEST(ParameterPanel, IntegrationRangeChangeIsSilent)
{
    parameter_setting_widget panel(record());
    QSignalSpy spy(&panel, &parameter_setting_widget::sig_integral_time_change);
    panel.set_integral_time_range(800, 50, 900);
    EXPECT_EQ(spy.count(), 0);
    EXPECT_EQ(panel.slider_integral_time->maximum(), 800);
    EXPECT_EQ(panel.slider_integral_time->minimum(), 50);
    EXPECT_EQ(panel.last_integral_time(), 800);
    EXPECT_EQ(panel.edit_integral_time->text(), "800us");
}

// One user move of a distance slider and the positions it ends in.
struct distance_case {
    const char* name;
    bool move_near;
    int value;
    int near_after;
    int far_after;
};

class DistanceRules : public ::testing::TestWithParam<distance_case> {
};

TEST_P(DistanceRules, KeepTheGap)
{
    const distance_case& c = GetParam();
    parameter_setting_widget panel(record());  // near 200, far 2000, limits 0..3000
    QSignalSpy spy(&panel, &parameter_setting_widget::sig_distance_range_change);
    (c.move_near ? panel.slider_distance_range_min : panel.slider_distance_range_max)->setValue(c.value);
    EXPECT_EQ(panel.slider_distance_range_min->value(), c.near_after) << c.name;
    EXPECT_EQ(panel.slider_distance_range_max->value(), c.far_after) << c.name;
    ASSERT_GE(spy.count(), 1) << c.name;
    // The last emission carries the final pair, far limit first.
    EXPECT_EQ(spy.last().at(0).toInt(), c.far_after) << c.name;
    EXPECT_EQ(spy.last().at(1).toInt(), c.near_after) << c.name;
    EXPECT_EQ(panel.label_distance_range_min->text(), QString::number(c.near_after) + "mm");
    EXPECT_EQ(panel.edit_distance_range->text(), QString::number(c.far_after) + "mm");
}

INSTANTIATE_TEST_SUITE_P(
    Sliders, DistanceRules,
    ::testing::Values(
        distance_case{"near moves freely", true, 1000, 1000, 2000},
        distance_case{"near 9 above far stays", true, 2009, 2009, 2000},
        distance_case{"near 10 above far pushes far", true, 2010, 2010, 2020},
        distance_case{"near within 10 of the maximum", true, 2995, 2990, 3000},
        distance_case{"far moves freely", false, 2500, 200, 2500},
        distance_case{"far below near pulls near", false, 150, 140, 150},
        distance_case{"far below 10 is raised", false, 5, 0, 10}));

TEST(ParameterPanel, FarEqualToNearLeavesNear)
{
    parameter_setting_widget panel(record());
    panel.slider_distance_range_max->setValue(200);
    EXPECT_EQ(panel.slider_distance_range_min->value(), 200);
}

}  // namespace
