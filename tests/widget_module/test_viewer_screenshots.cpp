// Screenshots of the main states on the virtual camera. Each picture is
// checked for content (not blank) and written for a person to look at
// (TESSIVUE_SCREENSHOT_DIR, else bin/screenshots).
#include <QGuiApplication>
#include <QScreen>
#include <QSet>

#include "app/user_message.h"
#include "bubble_widget.h"
#include "cloud_view_widget.h"
#include "depth_scale_bar.h"
#include "rgb_view_widget.h"
#include "viewer_fixture.h"
#include "widget_ir.h"

namespace {

using widget_test::wait_until;

// Number of distinct colours in a sample grid of the image.
int distinct_colours(const QImage& image, const QRect& area)
{
    QSet<QRgb> colours;
    const QRect r = area.intersected(image.rect());
    for (int y = r.top(); y <= r.bottom(); y += 3)
        for (int x = r.left(); x <= r.right(); x += 3)
            colours.insert(image.pixel(x, y));
    return colours.size();
}

class ViewerScreenshots : public widget_test::viewer_fixture {
protected:
    QImage shoot(QWidget* w, const char* name)
    {
        QCoreApplication::processEvents();
        QTest::qWait(50);  // let the X server finish drawing before the grab
        const QString path = widget_test::save_screenshot(w, QString::fromLatin1(name));
        QImage image(path);
        EXPECT_FALSE(image.isNull()) << path.toStdString();
        EXPECT_GT(distinct_colours(image, image.rect()), 8) << name << " looks blank: " << path.toStdString();
        return image;
    }

    // The part of a window shot covered by child (in window coordinates).
    QRect area_of(const QWidget* child) const
    {
        return QRect(child->mapTo(window.get(), QPoint(0, 0)), child->size());
    }

    void expand_parameter_panel()
    {
        viewer& v = *window;
        if (v.widget_tof_operate->isHidden())
            QTest::mouseClick(v.btn_tof_expend, Qt::LeftButton);
        if (v.widget_parameter_setting_contianer->isHidden())
            QTest::mouseClick(v.btn_tof_parameter_setting_expend, Qt::LeftButton);
    }
};

TEST_F(ViewerScreenshots, StartAndModuleList)
{
    shoot(window.get(), "01_start");
    QTest::mouseClick(window->btn_chose_module, Qt::LeftButton);
    const QImage list = shoot(window.get(), "02_module_list");
    EXPECT_GT(distinct_colours(list, area_of(window->table_module)), 2);
}

TEST_F(ViewerScreenshots, DepthPages)
{
    open_camera();
    viewer& v = *window;
    QTest::mouseClick(v.btn_switch_tof, Qt::LeftButton);
    ASSERT_TRUE(wait_depth_frames(10));
    expand_parameter_panel();
    cloud_view_widget* depth = v.depth_view();
    ASSERT_NE(depth, nullptr);
    QTest::mouseClick(depth->btn_see, Qt::LeftButton);
    QTest::mouseClick(depth->btn_info, Qt::LeftButton);
    const QPoint centre = depth->widget_view->mapTo(depth, depth->widget_view->rect().center());
    QTest::mouseClick(depth, Qt::LeftButton, Qt::NoModifier, centre);
    ASSERT_TRUE(wait_depth_frames(20));
    EXPECT_FALSE(depth->widget_location->isHidden());
    EXPECT_TRUE(depth->scale_bar()->isVisible());
    const QImage shot = shoot(window.get(), "03_depth_2d");
    EXPECT_GT(distinct_colours(shot, area_of(v.widget_point_cloud)), 30);
    EXPECT_GT(distinct_colours(shot, area_of(v.widget_ir)), 30);

    QTest::mouseClick(depth->btn_3d, Qt::LeftButton);
    ASSERT_TRUE(wait_until([&] { return cloud_frames >= 5; }, 30000));
    const QImage cloud = shoot(window.get(), "04_depth_3d");
    EXPECT_GT(distinct_colours(cloud, area_of(v.widget_point_cloud)), 30);
}

TEST_F(ViewerScreenshots, DepthWithRgb)
{
    open_camera();
    viewer& v = *window;
    QTest::mouseClick(v.btn_switch_tof, Qt::LeftButton);
    QTest::mouseClick(v.btn_switch_rgb, Qt::LeftButton);
    ASSERT_TRUE(wait_depth_frames(10));
    ASSERT_TRUE(wait_rgb_frames(10));
    const QImage shot = shoot(window.get(), "05_depth_rgb");
    EXPECT_GT(distinct_colours(shot, area_of(v.widget_rgb)), 30);
}

TEST_F(ViewerScreenshots, Rgbd)
{
    open_camera();
    viewer& v = *window;
    QTest::mouseClick(v.btn_rgbd_switch, Qt::LeftButton);
    ASSERT_TRUE(wait_depth_frames(10));
    ASSERT_TRUE(wait_rgb_frames(10));
    // Opens the fusion section with its save fields.
    QTest::mouseClick(v.btn_rgbd_expend, Qt::LeftButton);
    const QImage shot = shoot(window.get(), "06_rgbd");
    EXPECT_GT(distinct_colours(shot, area_of(v.widget_point_cloud)), 30);
    EXPECT_GT(distinct_colours(shot, area_of(v.widget_rgb)), 30);
}

TEST_F(ViewerScreenshots, MessageBubble)
{
    post_user_message(QStringLiteral("Save completed."));
    bubble_widget* bubble = window->message_bubble();
    ASSERT_TRUE(wait_until([&] { return bubble->isVisible(); }));
    // Best effort: a bubble already on screen needs no wait.
    (void)QTest::qWaitForWindowExposed(bubble);
    shoot(bubble, "07_bubble");
}

}  // namespace
