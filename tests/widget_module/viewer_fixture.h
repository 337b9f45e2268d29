#pragma once

// A main window on the virtual camera, opened through the module list as a
// user would. Shared by the viewer tests.
#include <QIcon>
#include <QImage>
#include <QPushButton>
#include <QTest>
#include <atomic>
#include <gtest/gtest.h>
#include <memory>

#include "parameter_setting_widget.h"
#include "viewer.h"
#include "widget_test_support.h"
#include "zavire/driver_operate.h"

namespace widget_test {

// True when button shows the icon of the resource at path.
inline bool shows_icon(const QAbstractButton* button, const char* path)
{
    const QSize size(24, 24);
    return button->icon().pixmap(size).toImage() == QIcon(QString::fromLatin1(path)).pixmap(size).toImage();
}

class viewer_fixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        window = std::make_unique<viewer>();
        window->resize(1280, 800);
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    }

    void TearDown() override
    {
        // The window's own teardown (not the process exit of a real close).
        window.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    // Lists the camera and selects it; waits for the device report and the
    // resolution report (the parameter panel).
    void open_camera()
    {
        viewer& v = *window;
        QTest::mouseClick(v.btn_chose_module, Qt::LeftButton);
        ASSERT_TRUE(v.table_module->isVisible());
        ASSERT_EQ(v.table_module->rowCount(), 1);
        const QRect row = v.table_module->visualItemRect(v.table_module->item(0, 0));
        QTest::mouseClick(v.table_module->viewport(), Qt::LeftButton, Qt::NoModifier, row.center());
        ASSERT_NE(v.current_driver(), nullptr);
        ASSERT_TRUE(wait_until([&] { return v.widget_module->isVisible() && v.parameter_panel(); }, 10000));
        count_frames();
    }

    // Counts the driver's depth, IR and colour notifications on the GUI thread.
    void count_frames()
    {
        driver_operate* d = window->current_driver();
        QObject::connect(d, &driver_operate::sig_update_date_vec, window.get(), [this] { ++depth_frames; });
        QObject::connect(d, &driver_operate::sig_show_ir, window.get(), [this](QPixmap) { ++ir_frames; });
        QObject::connect(d, &driver_operate::sig_show_rgb, window.get(), [this](QPixmap) { ++rgb_frames; });
        QObject::connect(d, &driver_operate::sig_update_cloud_point_vec, window.get(),
                         [this] { ++cloud_frames; });
    }

    bool wait_depth_frames(int n, int timeout_ms = 15000)
    {
        const int target = depth_frames + n;
        return wait_until([&] { return depth_frames >= target; }, timeout_ms * widget_test::kSlowBuildFactor);
    }
    bool wait_rgb_frames(int n, int timeout_ms = 15000)
    {
        const int target = rgb_frames + n;
        return wait_until([&] { return rgb_frames >= target; }, timeout_ms * widget_test::kSlowBuildFactor);
    }

    scratch_settings settings;
    message_catcher messages;
    std::unique_ptr<viewer> window;
    int depth_frames = 0;
    int ir_frames = 0;
    int rgb_frames = 0;
    int cloud_frames = 0;
};

}  // namespace widget_test
