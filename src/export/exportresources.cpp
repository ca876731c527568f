#include "export/exportresources.h"

#include <QtGlobal>

#include <mutex>

// Q_INIT_RESOURCE must be used outside any namespace.
static void registerExportResources()
{
    Q_INIT_RESOURCE(export);
}

namespace kalvora {

void initExportResources()
{
    static std::once_flag once;
    std::call_once(once, registerExportResources);
}

} // namespace kalvora
