// The images are compiled into this static library; a program that links
// it gets them registered by the views and dialogs that use them.
#pragma once

namespace TrackerConfig {

// Registers the compiled-in images once; cheap to call again.
void ensureResources();

}  // namespace TrackerConfig
