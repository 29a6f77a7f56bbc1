#include "app/EditorSkin.h"

#include "assets/resource.h"
#include "skin/Pictures.h"
#include "skin/SkinEngine.h"

namespace velmora::app {

bool SkinEditor(HWND editor, const std::array<HWND, 4>& labels) {
  skin::SkinEngine* engine = skin::SkinEngine::Instance();
  if (!engine) return false;
  static const skin::Picture background = skin::LoadResourcePicture(IDR_EDITOR_BACKGROUND);
  skin::SkinOptions options;
  options.resizable = false;
  options.picture = background;
  options.backgroundMode = 3;  // stretched
  engine->SkinWindow(editor, options);
  for (HWND label : labels) engine->MakeTransparent(label);
  return true;
}

}  // namespace velmora::app
