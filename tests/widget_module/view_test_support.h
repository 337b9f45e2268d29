#pragma once

// Shared pieces of the view tests: a main() that sets up the application the
// way the program does, synthetic shared frame data and event helpers.

#include <QApplication>
#include <QDir>
#include <QFont>
#include <QImage>
#include <QMouseEvent>
#include <QSet>
#include <QSurfaceFormat>
#include <QVTKOpenGLNativeWidget.h>
#include <QWidget>
#include <gtest/gtest.h>
#include <opencv2/core.hpp>

#include <mutex>

#include "zavire/frame_data.h"

namespace view_test {

// Publishes a depth frame the way the acquisition thread does: fresh images
// replace the shared ones under the depth image lock.
inline void publish_depth(const cv::Mat& color, const cv::Mat& raw)
{
    std::lock_guard<std::mutex> lock(frame_data::depth_image_lock);
    frame_data::depth_color_image = color.clone();
    frame_data::depth_raw_image = raw.clone();
}

// W x H depth frame with every pixel at `depth` mm and a horizontal colour
// ramp, so pictures of it are never blank.
inline void publish_flat_depth(int width, int height, quint16 depth)
{
    cv::Mat color(height, width, CV_8UC3);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            color.at<cv::Vec3b>(y, x) = cv::Vec3b(static_cast<uchar>(255 * x / width), 80,
                                                  static_cast<uchar>(255 - 255 * x / width));
    publish_depth(color, cv::Mat(height, width, CV_16UC1, cv::Scalar(depth)));
}

inline void publish_raw_ir(const cv::Mat& raw)
{
    std::lock_guard<std::mutex> lock(frame_data::ir_image_lock);
    frame_data::ir_raw_image = raw.clone();
}

// A 64-entry blue-to-red colour bar, far end in the top row.
inline void make_color_bar()
{
    frame_data::color_bar = cv::Mat(64, 1, CV_8UC3);
    for (int i = 0; i < 64; ++i)
        frame_data::color_bar.at<cv::Vec3b>(i, 0) =
            cv::Vec3b(static_cast<uchar>(255 - 4 * i), 40, static_cast<uchar>(4 * i));
}

inline void press(QWidget* w, const QPoint& pos)
{
    QMouseEvent event(QEvent::MouseButtonPress, pos, w->mapToGlobal(pos), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(w, &event);
}

// Number of distinct colours in an image; a blank or failed picture has 1.
inline int colour_count(const QImage& image)
{
    QSet<QRgb> seen;
    for (int y = 0; y < image.height(); y += 3)
        for (int x = 0; x < image.width(); x += 3) {
            seen.insert(image.pixel(x, y));
            if (seen.size() > 50)
                return seen.size();
        }
    return seen.size();
}

// Saves a picture of `w` for a person to look at; the folder is
// $TESSIVUE_SCREENSHOT_DIR or "screenshots" in the working folder.
inline QImage save_screenshot(QWidget* w, const QString& name)
{
    const QImage image = w->grab().toImage();
    QString dir = qEnvironmentVariable("TESSIVUE_SCREENSHOT_DIR");
    if (dir.isEmpty())
        dir = QStringLiteral("screenshots");
    QDir().mkpath(dir);
    image.save(dir + QLatin1Char('/') + name + QStringLiteral(".png"));
    return image;
}

inline void settle()
{
    for (int i = 0; i < 5; ++i)
        QApplication::processEvents();
}

}  // namespace view_test

// Each test program builds the application as the viewer does: the VTK
// surface format before the QApplication, Arial at 12 pixels, the compiled-in
// images; software GL under Xvfb.
#define VIEW_TEST_MAIN()                                                           \
    int main(int argc, char** argv)                                                \
    {                                                                              \
        if (qEnvironmentVariableIsEmpty("DISPLAY"))                                \
            qputenv("QT_QPA_PLATFORM", "offscreen");                               \
        QSurfaceFormat::setDefaultFormat(QVTKOpenGLNativeWidget::defaultFormat()); \
        QApplication app(argc, argv);                                              \
        Q_INIT_RESOURCE(zavire);                                                   \
        QFont font(QStringLiteral("Arial"));                                       \
        font.setPixelSize(12);                                                     \
        QApplication::setFont(font);                                               \
        ::testing::InitGoogleTest(&argc, argv);                                    \
        return RUN_ALL_TESTS();                                                    \
    }
