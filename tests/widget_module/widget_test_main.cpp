// main() of the widget tests: one QApplication for the whole program.
#include <QApplication>
#include <gtest/gtest.h>

#include "viewer.h"

int main(int argc, char** argv)
{
    // Listing the tests (ctest discovery) may happen without a display.
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QFont font(QStringLiteral("Arial"));
    font.setPixelSize(12);
    QApplication::setFont(font);
    // Windows destroyed by a test must not end the test program.
    viewer::set_exit_on_destroy(false);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
