// Layout arithmetic of the main window: the view grid, the left panel's
// stacking and the left-panel toggle.
#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>
#include <memory>

#include "view_grid.h"
#include "viewer.h"
#include "widget_test_support.h"

namespace {

struct grid_case {
    const char* name;
    int W, H, columns, aw, ah, n;
    QVector<QRect> expected;
};

class ViewGrid : public ::testing::TestWithParam<grid_case> {
};

TEST_P(ViewGrid, CellsFollowTheAspectAndCentre)
{
    const grid_case& c = GetParam();
    EXPECT_EQ(view_grid_cells(c.W, c.H, c.columns, c.aw, c.ah, c.n), c.expected) << c.name;
}

// Worked by hand from the rules: cell = W / C by H / R, shrunk to the aspect
// outside 70 px of height and 10 px of width, 5 px margins, centred rows.
INSTANTIATE_TEST_SUITE_P(
    Layouts, ViewGrid,
    ::testing::Values(
        // cw 1000, ch 700: 630*4 <= 990*3, so cw = 630*4/3 + 10 = 850.
        grid_case{"one 4:3", 1000, 700, 1, 4, 3, 1, {QRect(80, 5, 840, 690)}},
        // cw 500, ch 700: 630*4 > 490*3, so ch = 490*3/4 + 70 = 437.
        grid_case{"two 4:3", 1000, 700, 2, 4, 3, 2, {QRect(5, 136, 490, 427), QRect(505, 136, 490, 427)}},
        // Two rows: cw = 280*4/3 + 10 = 383; third cell centred alone.
        grid_case{"three in two columns",
                  1000,
                  700,
                  2,
                  4,
                  3,
                  3,
                  {QRect(122, 5, 373, 340), QRect(505, 5, 373, 340), QRect(313, 355, 373, 340)}},
        // RGBD: ch = 490*9/16 + 70 = 345.
        grid_case{"two 16:9", 1000, 700, 2, 16, 9, 2, {QRect(5, 182, 490, 335), QRect(505, 182, 490, 335)}},
        grid_case{"none", 1000, 700, 1, 4, 3, 0, {}}));

class ViewerLayout : public ::testing::Test {
protected:
    void SetUp() override
    {
        window = std::make_unique<viewer>();
        window->resize(1092, 739);
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
        window->widget_module->show();
        window->layout_left_panel();
    }

    static int bottom(const QWidget* w) { return w->y() + w->height(); }

    widget_test::scratch_settings settings;
    std::unique_ptr<viewer> window;
};

TEST_F(ViewerLayout, DepthRowSitsBelowTheEquipmentStrip)
{
    viewer& v = *window;
    ASSERT_TRUE(v.widget_switch_info->isHidden());
    EXPECT_EQ(v.widget_tof->y(), bottom(v.widget_equipment) + 10);
    EXPECT_EQ(v.widget_switch_info->y(), bottom(v.widget_equipment));
}

TEST_F(ViewerLayout, ProductInformationPushesTheDepthRowDown)
{
    viewer& v = *window;
    QTest::mouseClick(v.btn_info, Qt::LeftButton);
    EXPECT_FALSE(v.widget_info->isHidden());
    EXPECT_EQ(v.widget_switch_info->height(), v.widget_info->height());
    EXPECT_EQ(v.widget_tof->y(), bottom(v.widget_switch_info));
    QTest::mouseClick(v.btn_info, Qt::LeftButton);
    EXPECT_TRUE(v.widget_info->isHidden());
    EXPECT_EQ(v.widget_tof->y(), bottom(v.widget_equipment) + 10);
}

TEST_F(ViewerLayout, DepthSectionsStackWithTheirContainers)
{
    viewer& v = *window;
    v.btn_tof_expend->setEnabled(true);
    QTest::mouseClick(v.btn_tof_expend, Qt::LeftButton);
    ASSERT_FALSE(v.widget_tof_operate->isHidden());
    EXPECT_EQ(v.widget_tof_operate->y(), bottom(v.widget_tof));

    const int header = v.widget_tof_save_picture->height();
    // All containers closed: header, 10, header, 10, header.
    EXPECT_EQ(v.widget_tof_parm_set->y(), bottom(v.widget_tof_save_picture) + 10);
    EXPECT_EQ(v.widget_tof_filter->y(), bottom(v.widget_tof_parm_set) + 10);
    EXPECT_EQ(v.widget_tof_operate->height(), 3 * header + 30);

    QTest::mouseClick(v.btn_tof_save_set_expend, Qt::LeftButton);
    EXPECT_FALSE(v.widget_tof_save_contianer->isHidden());
    EXPECT_EQ(v.widget_tof_save_contianer->y(), bottom(v.widget_tof_save_picture));
    EXPECT_EQ(v.widget_tof_parm_set->y(), bottom(v.widget_tof_save_contianer) + 10);
    EXPECT_EQ(v.widget_tof_operate->height(), 3 * header + 30 + v.widget_tof_save_contianer->height());

    QTest::mouseClick(v.btn_tof_filter_expend, Qt::LeftButton);
    EXPECT_EQ(v.widget_filter_contianer->y(), bottom(v.widget_tof_filter));
    EXPECT_EQ(v.widget_tof_operate->height(),
              3 * header + 30 + v.widget_tof_save_contianer->height() + v.widget_filter_contianer->height());

    // Collapsing the whole section closes its containers too.
    QTest::mouseClick(v.btn_tof_expend, Qt::LeftButton);
    EXPECT_TRUE(v.widget_tof_operate->isHidden());
    EXPECT_TRUE(v.widget_tof_save_contianer->isHidden());
    EXPECT_TRUE(v.widget_filter_contianer->isHidden());
}

TEST_F(ViewerLayout, ColourAndFusionRowsFollow)
{
    viewer& v = *window;
    v.widget_rgb_module->show();
    v.widget_rgbd_module->show();
    v.layout_left_panel();
    EXPECT_EQ(v.widget_rgb_module->y(), bottom(v.widget_tof) + 10);
    EXPECT_EQ(v.widget_rgbd_module->y(), bottom(v.widget_rgb_module) + 10);

    v.btn_rgbexpend->setEnabled(true);
    QTest::mouseClick(v.btn_rgbexpend, Qt::LeftButton);
    const int header = v.widget_rgb_save_picture->height();
    EXPECT_EQ(v.widget_rgb_operate->y(), bottom(v.widget_rgb_module) + 10);
    EXPECT_EQ(v.widget_rgb_parm_set->y(), bottom(v.widget_rgb_save_picture) + 10);
    EXPECT_EQ(v.widget_rgb_operate->height(), 2 * header + 20 + header + 10);
    EXPECT_EQ(v.widget_rgbd_module->y(), bottom(v.widget_rgb_operate) + 10);

    QTest::mouseClick(v.btn_rgb_save_set_expend, Qt::LeftButton);
    QTest::mouseClick(v.btn_rgb_param_setting_expend, Qt::LeftButton);
    EXPECT_EQ(v.widget_rgb_save_contianer->y(), bottom(v.widget_rgb_save_picture));
    EXPECT_EQ(v.widget_rgb_parm_set->y(), bottom(v.widget_rgb_save_contianer));
    EXPECT_EQ(v.widget_rgb_param_setting_contianer->y(), bottom(v.widget_rgb_parm_set));
    EXPECT_EQ(v.widget_rgb_operate->height(), 2 * header + 20 + v.widget_rgb_save_contianer->height() + v.widget_rgb_param_setting_contianer->height());

    // The fusion section opens with its save fields shown (the window never
    // hides that container); its expander then closes them.
    QTest::mouseClick(v.btn_rgbd_expend, Qt::LeftButton);
    ASSERT_FALSE(v.widget_rgbd_save_contianer->isHidden());
    EXPECT_EQ(v.widget_rgbd_operate->y(), bottom(v.widget_rgbd_module) + 10);
    EXPECT_EQ(v.widget_rgbd_save_contianer->y(), bottom(v.widget_rgbd_save_picture));
    EXPECT_EQ(v.widget_rgbd_operate->height(), header + 10 + v.widget_rgbd_save_contianer->height());
    QTest::mouseClick(v.btn_rgbd_save_set_expend, Qt::LeftButton);
    EXPECT_EQ(v.widget_rgbd_operate->height(), header + 10);
    QTest::mouseClick(v.btn_rgbd_save_set_expend, Qt::LeftButton);
    // Contents reach past the last block so it can be scrolled to.
    const int last = bottom(v.widget_rgbd_operate);
    if (last + 12 > v.scroll_area_left->height()) {
        EXPECT_EQ(v.scrollAreaWidgetContents->height(), last + 10);
    } else
        EXPECT_EQ(v.scrollAreaWidgetContents->height(), v.scroll_area_left->height() - 2);
}

TEST_F(ViewerLayout, ShortPanelFillsTheScrollArea)
{
    viewer& v = *window;
    EXPECT_EQ(v.scrollAreaWidgetContents->height(), v.scroll_area_left->height() - 2);
}

TEST_F(ViewerLayout, LeftPanelToggleWidensTheViewArea)
{
    viewer& v = *window;
    const int open_x = v.label_2->x();
    EXPECT_EQ(open_x, v.widget_left->x() + v.widget_left->width());
    EXPECT_EQ(v.widget_view->x(), open_x + v.label_2->width());

    QTest::mouseClick(v.btn_left_expend, Qt::LeftButton);
    EXPECT_TRUE(v.widget_left->isHidden());
    EXPECT_EQ(v.label_2->x(), v.widget_left->x());
    EXPECT_EQ(v.btn_left_expend->x(), v.label_2->x());
    EXPECT_EQ(v.btn_left_expend->y(), (v.label_2->height() - v.btn_left_expend->height()) / 2);
    EXPECT_EQ(v.widget_view->x(), v.label_2->x() + v.label_2->width());
    EXPECT_EQ(v.widget_view->width(), v.width() - v.label_2->x() - v.label_2->width());

    QTest::mouseClick(v.btn_left_expend, Qt::LeftButton);
    EXPECT_FALSE(v.widget_left->isHidden());
    EXPECT_EQ(v.label_2->x(), open_x);
}

TEST_F(ViewerLayout, ResizeFollowsTheWindow)
{
    viewer& v = *window;
    v.resize(1300, 800);
    EXPECT_EQ(v.widget_useful->size(), QSize(1298, 798));
    EXPECT_EQ(v.widget_view->width(), 1300 - v.label_2->x() - v.label_2->width());
    EXPECT_EQ(v.scrollAreaWidgetContents->width(), v.scroll_area_left->width() - 2);
}

TEST_F(ViewerLayout, ResizeReportsOneModuleWithoutViews)
{
    viewer& v = *window;
    QSignalSpy spy(&v, &parent_widget::sig_resize_widget);
    v.layout_view_area(true);
    ASSERT_EQ(spy.count(), 1);
    EXPECT_FALSE(spy.at(0).at(0).toBool());
    EXPECT_TRUE(spy.at(0).at(1).toBool());
}

}  // namespace
