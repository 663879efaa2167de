#include "resources.h"

#include <QtGlobal>

// Q_INIT_RESOURCE must be used outside any namespace. A static library's
// resources are not registered by themselves: nothing references them, so
// the linker would leave their initialiser out.
static void registerTrackerConfigResources() {
    Q_INIT_RESOURCE(tracker_config);
}

namespace TrackerConfig {

void ensureResources() {
    static const bool registered = (registerTrackerConfigResources(), true);
    (void)registered;
}

}  // namespace TrackerConfig
