// Hands the pages the process does not need back to the system, on a short-lived thread of its
// own: nothing on the UI thread waits for it, and it touches no shared state.
#pragma once

namespace velmora {

void StartWorkingSetTrim();

}  // namespace velmora
