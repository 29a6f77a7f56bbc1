// How many GDI and USER objects this process holds, for leak checks. Windows answers
// GetGuiResources; Wine does not (it returns 0), so there GDI objects are counted in the
// process's GDI handle table and USER objects as the windows of this thread. A 32-bit process
// under Wine has no handle table in its PEB: GdiObjectCount is -1 there, and the leak checks
// run on the 64-bit build.
#pragma once

namespace velmora::test {

int GdiObjectCount();
int UserObjectCount();

}  // namespace velmora::test
