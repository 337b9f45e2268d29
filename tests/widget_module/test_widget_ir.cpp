#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QRegularExpression>

#include "view_test_support.h"
#include "widget_module/widget_ir.h"

namespace {

using namespace view_test;

// Raw IR frame whose pixel (x, y) holds 100 * y + x.
cv::Mat coded_ir(int width, int height)
{
    cv::Mat raw(height, width, CV_16UC1);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            raw.at<quint16>(y, x) = static_cast<quint16>(100 * y + x);
    return raw;
}

QPixmap grey_frame(int level)
{
    QImage image(640, 480, QImage::Format_RGB888);
    image.fill(QColor(level, level, level));
    for (int x = 0; x < 640; x += 40)
        for (int y = 0; y < 480; ++y)
            image.setPixelColor(x, y, QColor(255 - level, 255 - level, 255 - level));
    return QPixmap::fromImage(image);
}

class IrView : public ::testing::Test {
protected:
    void SetUp() override
    {
        publish_raw_ir(coded_ir(640, 480));
        view = new WidgetIR();
        view->show();
        settle();
    }
    void TearDown() override { delete view; }

    void click(QPoint pos)
    {
        QWidget* target = view->childAt(pos);
        if (target == nullptr)
            target = view;
        press(target, target->mapFrom(view, pos));
    }

    QPointer<WidgetIR> view;
};

TEST_F(IrView, FormAndInitialState)
{
    EXPECT_EQ(view->objectName(), QStringLiteral("Widget_IR"));
    EXPECT_EQ(view->label->text(), QStringLiteral("IR"));
    EXPECT_EQ(view->label_location->text(), QStringLiteral("location="));
    EXPECT_EQ(view->label_distance->text(), QStringLiteral("center="));
    EXPECT_EQ(view->widget_location->geometry(), QRect(70, 300, 151, 41));
    EXPECT_TRUE(view->btn_close->isHidden());
    EXPECT_TRUE(view->widget_location->isHidden());
    EXPECT_TRUE(view->testAttribute(Qt::WA_DeleteOnClose));
}

struct lsb_case {
    const char* name;
    QPoint click;  // view coordinates
    QString location;
    QString value;  // empty: the value label keeps its text
};

class IrClick : public IrView, public ::testing::WithParamInterface<lsb_case> { };

TEST_P(IrClick, ShowsTheRawValue)
{
    const lsb_case& c = GetParam();
    click(c.click);
    ASSERT_TRUE(view->widget_location->isVisible());
    const QString before = view->label_distance_content->text();
    view->show_frame(grey_frame(100));
    EXPECT_EQ(view->label_location_content->text(), c.location) << c.name;
    EXPECT_EQ(view->label_distance_content->text(), c.value.isEmpty() ? before : c.value)
        << c.name;
}

// Area 831 x 601 under a 30 px title; pixel = trunc(x * 640 / 831),
// trunc((y - 30) * 480 / 601); value 100 * row + column.
INSTANTIATE_TEST_SUITE_P(
    Views, IrClick,
    ::testing::Values(lsb_case{"centre", {415, 330}, "319x239", "24219 LSB"},
                      lsb_case{"near_origin", {2, 32}, "1x1", "101 LSB"},
                      lsb_case{"column_zero", {0, 330}, "0x239", ""},
                      lsb_case{"row_zero", {415, 30}, "319x0", ""},
                      lsb_case{"bottom_right", {830, 599}, "639x454", "46039 LSB"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(IrView, SmallerResolutionMapsToItsOwnPixels)
{
    publish_raw_ir(coded_ir(320, 240));
    view->slot_resolution_change(320, 240);
    EXPECT_EQ(view->label_frame_content->text(), QString::fromUtf8("320\u00d7240"));
    click({415, 330});
    view->show_frame(grey_frame(100));
    EXPECT_EQ(view->label_location_content->text(), QStringLiteral("159x119"));
    EXPECT_EQ(view->label_distance_content->text(), QStringLiteral("12059 LSB"));
}

TEST_F(IrView, TitleAndBottomBarClicksHideTheBox)
{
    click({415, 330});
    ASSERT_TRUE(view->widget_location->isVisible());
    click({415, 5});
    EXPECT_TRUE(view->widget_location->isHidden());
    click({415, 330});
    click({20, 645});
    EXPECT_TRUE(view->widget_location->isHidden());
}

TEST_F(IrView, FrameFillsTheWholeImageArea)
{
    view->show_frame(grey_frame(100));
    const QImage img = view->grab().toImage();
    // Stretched, not letterboxed: the corners of the 831 x 601 area are image.
    EXPECT_EQ(QColor(img.pixel(0, 30)), QColor(155, 155, 155));  // column 0 stripe
    EXPECT_EQ(QColor(img.pixel(20, 30)), QColor(100, 100, 100));
    EXPECT_EQ(QColor(img.pixel(829, 629)), QColor(100, 100, 100));
}

TEST_F(IrView, PauseFreezesValueAndPictureButNotTimeStamp)
{
    std::vector<bool> stops;
    QObject::connect(view, &WidgetIR::sig_stop_start, [&](bool s) { stops.push_back(s); });
    click({415, 330});
    view->show_frame(grey_frame(100));
    view->btn_start->click();
    publish_raw_ir(cv::Mat(480, 640, CV_16UC1, cv::Scalar(7)));
    view->label_time_content->setText(QStringLiteral("stale"));
    view->show_frame(grey_frame(200));
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^\\d+;$"))
                    .match(view->label_time_content->text())
                    .hasMatch());
    EXPECT_EQ(view->label_distance_content->text(), QStringLiteral("24219 LSB"));
    EXPECT_EQ(QColor(view->grab().toImage().pixel(20, 300)), QColor(100, 100, 100));
    view->btn_start->click();
    view->show_frame(grey_frame(200));
    EXPECT_EQ(view->label_distance_content->text(), QStringLiteral("7 LSB"));
    EXPECT_EQ(QColor(view->grab().toImage().pixel(20, 300)), QColor(200, 200, 200));
    EXPECT_EQ(stops, (std::vector<bool>{true, false}));
}

TEST_F(IrView, SaveExpandAndClose)
{
    int saves = 0, exits = 0;
    std::vector<bool> expanded;
    QObject::connect(view, &WidgetIR::sig_save_ir_image, [&] { ++saves; });
    QObject::connect(view, &WidgetIR::sig_exit, [&] { ++exits; });
    QObject::connect(view, &WidgetIR::sig_expend_view, [&](bool e) { expanded.push_back(e); });
    view->btn_photo->click();
    view->btn_expend->click();
    view->btn_expend->click();
    EXPECT_EQ(saves, 1);
    EXPECT_EQ(expanded, (std::vector<bool>{true, false}));
    view->close();
    EXPECT_EQ(exits, 1);
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(view.isNull());
}

TEST_F(IrView, Screenshot)
{
    QImage image(640, 480, QImage::Format_RGB888);
    for (int y = 0; y < 480; ++y)
        for (int x = 0; x < 640; ++x) {
            const int g = (x / 40 + y / 40) % 2 == 0 ? 60 + y * 150 / 480 : 200 - x * 100 / 640;
            image.setPixelColor(x, y, QColor(g, g, g));
        }
    view->btn_info->click();
    click({600, 500});
    view->show_frame(QPixmap::fromImage(image));
    settle();
    const QImage shot = save_screenshot(view, QStringLiteral("widget_ir"));
    EXPECT_GT(colour_count(shot), 20);
    EXPECT_TRUE(view->label_distance_content->text().endsWith(QStringLiteral(" LSB")));
}

}  // namespace

VIEW_TEST_MAIN()
