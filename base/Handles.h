// Move-only owners for the handles the program opens. Each closes its handle exactly once.
#pragma once

#include <windows.h>

#include <utility>

namespace velmora {

template <typename Traits>
class UniqueHandle {
 public:
  using Type = typename Traits::Type;

  UniqueHandle() noexcept = default;
  explicit UniqueHandle(Type h) noexcept : h_(h) {}
  ~UniqueHandle() { Reset(); }

  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;
  UniqueHandle(UniqueHandle&& other) noexcept : h_(other.Release()) {}
  UniqueHandle& operator=(UniqueHandle&& other) noexcept {
    if (this != &other) Reset(other.Release());
    return *this;
  }

  Type Get() const noexcept { return h_; }
  bool Valid() const noexcept { return h_ != Traits::Invalid(); }
  explicit operator bool() const noexcept { return Valid(); }

  Type Release() noexcept { return std::exchange(h_, Traits::Invalid()); }
  void Reset(Type h = Traits::Invalid()) noexcept {
    if (Valid()) Traits::Close(h_);
    h_ = h;
  }

 private:
  Type h_ = Traits::Invalid();
};

struct FileHandleTraits {
  using Type = HANDLE;
  static Type Invalid() noexcept { return INVALID_HANDLE_VALUE; }
  static void Close(Type h) noexcept { ::CloseHandle(h); }
};

struct KernelHandleTraits {
  using Type = HANDLE;
  static Type Invalid() noexcept { return nullptr; }
  static void Close(Type h) noexcept { ::CloseHandle(h); }
};

struct FindHandleTraits {
  using Type = HANDLE;
  static Type Invalid() noexcept { return INVALID_HANDLE_VALUE; }
  static void Close(Type h) noexcept { ::FindClose(h); }
};

struct RegKeyTraits {
  using Type = HKEY;
  static Type Invalid() noexcept { return nullptr; }
  static void Close(Type h) noexcept { ::RegCloseKey(h); }
};

struct MenuTraits {
  using Type = HMENU;
  static Type Invalid() noexcept { return nullptr; }
  static void Close(Type h) noexcept { ::DestroyMenu(h); }
};

struct IconTraits {
  using Type = HICON;
  static Type Invalid() noexcept { return nullptr; }
  static void Close(Type h) noexcept { ::DestroyIcon(h); }
};

struct GlobalMemoryTraits {
  using Type = HGLOBAL;
  static Type Invalid() noexcept { return nullptr; }
  static void Close(Type h) noexcept { ::GlobalFree(h); }
};

using UniqueFile = UniqueHandle<FileHandleTraits>;      // CreateFile
using UniqueKernelHandle = UniqueHandle<KernelHandleTraits>;  // threads, events, processes
using UniqueFind = UniqueHandle<FindHandleTraits>;      // FindFirstFile
using UniqueRegKey = UniqueHandle<RegKeyTraits>;        // RegOpenKeyEx / RegCreateKeyEx
using UniqueMenu = UniqueHandle<MenuTraits>;            // CreatePopupMenu, CreateMenu
using UniqueIcon = UniqueHandle<IconTraits>;            // LoadImage(IMAGE_ICON), CreateIcon…, ImageList_GetIcon
using UniqueGlobalMemory = UniqueHandle<GlobalMemoryTraits>;  // GlobalAlloc, until handed to the clipboard


}  // namespace velmora
