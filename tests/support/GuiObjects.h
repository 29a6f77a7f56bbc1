// How many GDI and USER objects this process holds, for leak checks. Windows answers
// GetGuiResources; Wine does not (it returns 0), so there GDI objects are counted in the
// process's GDI handle table and USER objects as the windows of this thread.
#pragma once

namespace velmora::test {

int GdiObjectCount();
int UserObjectCount();

}  // namespace velmora::test
