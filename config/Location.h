// Where the program last ran, and what happens when it runs from somewhere else.
#pragma once

#include <string>
#include <string_view>

namespace velmora::config {

class ConfigStore;

// "<program directory>\<exe name> %-1"
std::wstring LocationStamp(std::wstring_view programDirectory, std::wstring_view exeName);

// The windows' share of a location change.
class LocationChangeHandler {
 public:
  virtual ~LocationChangeHandler() = default;
  virtual void RunRebuild() = 0;      // opens the notice window, which rebuilds
  virtual void HideMainWindow() = 0;
};

// Compares the stamp with the registry value. When they differ: the device goes back to "1",
// the configuration is rebuilt, the main window is hidden and the new stamp is recorded.
// Returns whether the location had changed.
bool CheckLocation(const ConfigStore& store, std::wstring_view exeName, LocationChangeHandler& handler);

}  // namespace velmora::config
