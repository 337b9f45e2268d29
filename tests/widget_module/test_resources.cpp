// Every image the forms and widgets name must be compiled in and visible:
// a missing name leaves a blank button, which no other test notices.
#include <QDirIterator>
#include <QFile>
#include <QImage>
#include <QRegularExpression>
#include <QSet>
#include <gtest/gtest.h>

namespace {

QSet<QString> referenced_images()
{
    QSet<QString> names;
    const QRegularExpression pattern(QStringLiteral(":/zavire/image/[A-Za-z0-9_/]+\\.png"));
    const QRegularExpression by_view_icon(QStringLiteral("view_icon\\(\"([A-Za-z0-9_/]+\\.png)\"\\)"));
    QDirIterator it(QStringLiteral(TESSIVUE_SOURCE_DIR "/widget_module"),
                    {QStringLiteral("*.ui"), QStringLiteral("*.cpp"), QStringLiteral("*.h")}, QDir::Files);
    while (it.hasNext()) {
        QFile file(it.next());
        if (!file.open(QIODevice::ReadOnly))
            continue;
        const QString text = QString::fromUtf8(file.readAll());
        auto matches = pattern.globalMatch(text);
        while (matches.hasNext())
            names.insert(matches.next().captured(0));
        // view_icon("save.png") names a file of the same folder.
        auto icons = by_view_icon.globalMatch(text);
        while (icons.hasNext())
            names.insert(QStringLiteral(":/zavire/image/") + icons.next().captured(1));
    }
    return names;
}

// Opaque pixels that differ from each other: a blank or single-colour
// square would pass a plain "loads" check.
bool has_a_drawing(const QImage& image)
{
    QSet<QRgb> colours;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QRgb px = image.pixel(x, y);
            if (qAlpha(px) > 32)
                colours.insert(px);
        }
    return colours.size() >= 2;
}

}  // namespace

TEST(Resources, EveryNamedImageIsCompiledInAndDrawn)
{
    const QSet<QString> names = referenced_images();
    // The forms and views name dozens of icons; finding few means the scan
    // is broken.
    ASSERT_GT(names.size(), 20);
    for (const QString& name : names) {
        const QImage image(name);
        EXPECT_FALSE(image.isNull()) << name.toStdString() << " is not in the resources";
        if (!image.isNull()) {
            EXPECT_TRUE(has_a_drawing(image)) << name.toStdString() << " is blank";
        }
    }
}

TEST(Resources, ScrollBarStyleSheetIsCompiledIn)
{
    QFile qss(QStringLiteral(":/zavire/qss/qscroll_bar.qss"));
    ASSERT_TRUE(qss.open(QIODevice::ReadOnly));
    EXPECT_TRUE(qss.readAll().contains("QScrollBar"));
}
