#include "app/crash_handler.h"
#include "app/log_store.h"

#include <QApplication>
#include <QCoreApplication>
#include <QFont>
#include <QLabel>

#include <vtkAutoInit.h>
#include <vtkObject.h>

VTK_MODULE_INIT(vtkRenderingOpenGL2)
VTK_MODULE_INIT(vtkInteractionStyle)

int main(int argc, char* argv[])
{
    QCoreApplication::addLibraryPath(QStringLiteral("."));
    vtkObject::SetGlobalWarningDisplay(0);

    QApplication app(argc, argv);
    QFont font(QStringLiteral("Arial"));
    font.setPixelSize(12);
    QApplication::setFont(font);

    install_crash_handler();
    init_log(QString());

    // Placeholder until the main window joins the program.
    QLabel window(QStringLiteral("Tessivue Viewer"));
    window.setWindowTitle(QStringLiteral("Tessivue Viewer"));
    window.resize(800, 600);
    window.show();

    return app.exec();
}
