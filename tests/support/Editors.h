// The effect editor's owner for the tests of one process, as the program's App holds one.
#pragma once

#include "ui/EditorWindow.h"

namespace velmora::test {

// Never destroyed: the process ends with whatever window is left.
inline ui::EditorHost& Editors() {
  static auto* host = new ui::EditorHost;
  return *host;
}

}  // namespace velmora::test
