// Keeps a HKEY_CURRENT_USER key's default value as it was before a test.
#pragma once

#include <windows.h>

#include <string>

namespace velmora::test {

class SavedUserRegistryValue {
 public:
  explicit SavedUserRegistryValue(std::wstring subkey) : subkey_(std::move(subkey)) {
    DWORD bytes = 0;
    existed_ = ::RegGetValueW(HKEY_CURRENT_USER, subkey_.c_str(), nullptr, RRF_RT_ANY | RRF_NOEXPAND, &type_,
                              nullptr, &bytes) == ERROR_SUCCESS;
    if (existed_) {
      data_.resize(bytes);
      ::RegGetValueW(HKEY_CURRENT_USER, subkey_.c_str(), nullptr, RRF_RT_ANY | RRF_NOEXPAND, &type_, data_.data(),
                     &bytes);
      data_.resize(bytes);
    }
  }
  ~SavedUserRegistryValue() {
    HKEY key = nullptr;
    if (::RegCreateKeyExW(HKEY_CURRENT_USER, subkey_.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key,
                          nullptr) != ERROR_SUCCESS)
      return;
    if (existed_) {
      ::RegSetValueExW(key, nullptr, 0, type_, reinterpret_cast<const BYTE*>(data_.data()),
                       static_cast<DWORD>(data_.size()));
    } else {
      ::RegDeleteValueW(key, nullptr);
    }
    ::RegCloseKey(key);
  }
  SavedUserRegistryValue(const SavedUserRegistryValue&) = delete;
  SavedUserRegistryValue& operator=(const SavedUserRegistryValue&) = delete;

  // Removes the value so a test starts from "never ran here".
  void Clear() const {
    HKEY key = nullptr;
    if (::RegOpenKeyExW(HKEY_CURRENT_USER, subkey_.c_str(), 0, KEY_SET_VALUE, &key) == ERROR_SUCCESS) {
      ::RegDeleteValueW(key, nullptr);
      ::RegCloseKey(key);
    }
  }

  // Stores a raw value of any type (for REG_EXPAND_SZ and friends).
  void Set(DWORD type, const std::wstring& text) const {
    HKEY key = nullptr;
    if (::RegCreateKeyExW(HKEY_CURRENT_USER, subkey_.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key,
                          nullptr) != ERROR_SUCCESS)
      return;
    ::RegSetValueExW(key, nullptr, 0, type, reinterpret_cast<const BYTE*>(text.c_str()),
                     static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
    ::RegCloseKey(key);
  }

 private:
  std::wstring subkey_;
  bool existed_ = false;
  DWORD type_ = REG_SZ;
  std::string data_;
};

}  // namespace velmora::test
