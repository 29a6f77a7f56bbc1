// Files dropped on an effect button, on the UI thread: hotkeys/DroppedFiles.h decides which slot
// gets which file and writes them; here the user is asked first when it says so, and whatever
// shows the rewritten slots (an open editor, the board's captions) is brought up to date.
#pragma once

#include "config/Captions.h"
#include "config/Catalogue.h"

#include <windows.h>

#include <string>
#include <vector>

namespace velmora::config {
class ConfigStore;
}

namespace velmora::ui {

class EditorHost;

// The question "替换N个音效？" is modal over `owner`. True when anything was written.
bool DropFilesOnSlot(const config::ConfigStore& store, config::CaptionHolder& board, EditorHost& editors, HWND owner,
                     config::EffectSlot slot, const std::vector<std::wstring>& paths);

}  // namespace velmora::ui
