#include "app/crash_handler.h"
#include "app/log_store.h"
#include "app/quit_signals.h"
#include "widget_module/viewer.h"

#include <QApplication>
#include <QCoreApplication>
#include <QFont>

#include <vtkAutoInit.h>
#include <vtkObject.h>

VTK_MODULE_INIT(vtkRenderingOpenGL2)
VTK_MODULE_INIT(vtkInteractionStyle)

int main(int argc, char* argv[])
{
    QCoreApplication::addLibraryPath(QStringLiteral("."));
    vtkObject::SetGlobalWarningDisplay(0);

    QApplication app(argc, argv);
#ifdef TESSIVUE_VERSION
    QCoreApplication::setApplicationVersion(QStringLiteral(TESSIVUE_VERSION));
#endif
    QFont font(QStringLiteral("Arial"));
    font.setPixelSize(12);
    QApplication::setFont(font);

    install_crash_handler();
    init_log(QString());

    // The window deletes itself when closed, and its destructor ends the
    // process: everything orderly happens in its close handler.
    auto* window = new viewer();
    window->show();
    // "Tessivue FILE.bag" opens a recording as the camera.
    const QStringList args = QCoreApplication::arguments();
    for (int i = 1; i < args.size(); ++i)
        if (args[i].endsWith(QLatin1String(".bag"), Qt::CaseInsensitive)) {
            window->open_recording_file(args[i]);
            break;
        }
    // Ctrl-C and SIGTERM close the window like its close button.
    install_quit_signals([window] { window->close(); });

    return app.exec();
}
