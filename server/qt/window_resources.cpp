#include "server/qt/window_resources.h"

#include <QtGlobal>

// Q_INIT_RESOURCE must be used outside any namespace.
static void initRavendockdResources() {
    Q_INIT_RESOURCE(ravendockd);
}

namespace server {

void InitWindowResources() {
    initRavendockdResources();
}

}  // namespace server
