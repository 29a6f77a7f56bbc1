#include "config/Location.h"

#include "config/ConfigKeys.h"
#include "config/ConfigStore.h"

namespace velmora::config {

std::wstring LocationStamp(std::wstring_view programDirectory, std::wstring_view exeName) {
  std::wstring stamp(programDirectory);
  stamp += L'\\';
  stamp += exeName;
  stamp += L" %-1";
  return stamp;
}

bool CheckLocation(const ConfigStore& store, std::wstring_view exeName, LocationChangeHandler& handler) {
  const std::wstring expected = LocationStamp(store.ProgramDirectory(), exeName);
  if (ReadUserRegistryText(kLocationRegistryKey) == expected) return false;
  store.WriteValue(kDeviceSection, kDeviceKey, L"1");
  handler.RunRebuild();
  handler.HideMainWindow();
  WriteUserRegistryText(kLocationRegistryKey, expected);  // on failure the next start rebuilds again
  return true;
}

}  // namespace velmora::config
