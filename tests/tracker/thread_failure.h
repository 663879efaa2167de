// Lets a test make thread creation fail, as when the system has no resources
// left for another thread.
#pragma once

namespace Quorvane::testing {

// While set, every pthread_create of the process fails with EAGAIN.
void failThreadCreation(bool fail);

}  // namespace Quorvane::testing
