#include "zavire_resources.h"

#include <QtGlobal>
#include <mutex>

// Q_INIT_RESOURCE must be used at global namespace scope.
static void register_zavire_qrc()
{
    Q_INIT_RESOURCE(zavire);
}

void init_zavire_resources()
{
    static std::once_flag once;
    std::call_once(once, register_zavire_qrc);
}
