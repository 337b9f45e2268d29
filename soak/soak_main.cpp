// tessivue_soak: the viewer's main window on the camera, driven through its
// module states for a given time (see scripts/soak).
#include <QApplication>
#include <QFont>
#include <QTemporaryDir>
#include <cstdio>

#include <vtkAutoInit.h>
#include <vtkObject.h>

#include "app/log_store.h"
#include "soak_options.h"
#include "soak_run.h"

VTK_MODULE_INIT(vtkRenderingOpenGL2)
VTK_MODULE_INIT(vtkInteractionStyle)

int main(int argc, char* argv[])
{
    vtkObject::SetGlobalWarningDisplay(0);
    QApplication app(argc, argv);
    QFont font(QStringLiteral("Arial"));
    font.setPixelSize(12);
    QApplication::setFont(font);

    soak_options options;
    QString error;
    if (!parse_soak_options(QCoreApplication::arguments(), &options, &error)) {
        std::fprintf(stderr, "tessivue_soak: %s\nusage: tessivue_soak [--minutes M] [--step S] "
                             "[--max-growth-mb G] [--hang-s H] [--work DIR]\n",
                     qPrintable(error));
        return 2;
    }
    QTemporaryDir scratch;
    if (options.work_folder.isEmpty())
        options.work_folder = scratch.path();
    init_log(options.work_folder + QStringLiteral("/log"));

    soak_run run(options);
    return run.exec();
}
