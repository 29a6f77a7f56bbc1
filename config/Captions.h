// The captions of the 100 effect buttons. Whoever shows the buttons implements CaptionHolder;
// LoadCaptions fills it from the title sections.
#pragma once

#include "config/Catalogue.h"

#include <array>
#include <string>

namespace velmora::config {

class ConfigStore;

class CaptionHolder {
 public:
  virtual ~CaptionHolder() = default;
  virtual void SetCaption(EffectSlot slot, const std::wstring& caption) = 0;
  virtual std::wstring Caption(EffectSlot slot) const = 0;
};

// A holder that only keeps the texts (used where no board is shown).
class PlainCaptionHolder final : public CaptionHolder {
 public:
  void SetCaption(EffectSlot slot, const std::wstring& caption) override;
  std::wstring Caption(EffectSlot slot) const override;

 private:
  std::array<std::wstring, kSlotCount> captions_;
};

// Every slot's caption from its title section (missing -> empty); afterwards every custom
// slot whose caption is empty shows "自定义".
void LoadCaptions(const ConfigStore& store, CaptionHolder& holder);

}  // namespace velmora::config
