// Program entry.
#include "app/App.h"
#include "base/ComPtr.h"

#include <windows.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  velmora::ComInit com(COINIT_APARTMENTTHREADED);  // the shell and the file dialog want one
  velmora::app::App app;
  return app.Run();
}
