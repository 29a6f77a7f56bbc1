#include "config/Folders.h"

#include "base/Paths.h"
#include "config/Catalogue.h"

#include <windows.h>

namespace velmora::config {

void EnsureFolders(std::wstring_view programDirectory) {
  const std::wstring folders[] = {
      EffectsRoot(programDirectory),      CategoryFolder(programDirectory, 1), CategoryFolder(programDirectory, 2),
      CategoryFolder(programDirectory, 3), CategoryFolder(programDirectory, 4), SpareFolder(programDirectory),
  };
  for (const std::wstring& folder : folders) {
    if (!PathExists(folder)) ::CreateDirectoryW(folder.c_str(), nullptr);  // failure ignored
  }
}

}  // namespace velmora::config
