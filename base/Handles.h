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

// A handle that is null when empty and ends through `close`.
template <typename T, auto close>
struct NullEmptyTraits {
  using Type = T;
  static Type Invalid() noexcept { return nullptr; }
  static void Close(Type h) noexcept { close(h); }
};

// A HANDLE that is INVALID_HANDLE_VALUE when empty and ends through `close`.
template <auto close>
struct InvalidEmptyTraits {
  using Type = HANDLE;
  static Type Invalid() noexcept { return INVALID_HANDLE_VALUE; }
  static void Close(Type h) noexcept { close(h); }
};

using FileHandleTraits = InvalidEmptyTraits<::CloseHandle>;
using KernelHandleTraits = NullEmptyTraits<HANDLE, ::CloseHandle>;
using FindHandleTraits = InvalidEmptyTraits<::FindClose>;
using RegKeyTraits = NullEmptyTraits<HKEY, ::RegCloseKey>;
using MenuTraits = NullEmptyTraits<HMENU, ::DestroyMenu>;
using IconTraits = NullEmptyTraits<HICON, ::DestroyIcon>;
using GlobalMemoryTraits = NullEmptyTraits<HGLOBAL, ::GlobalFree>;

using UniqueFile = UniqueHandle<FileHandleTraits>;      // CreateFile
using UniqueKernelHandle = UniqueHandle<KernelHandleTraits>;  // threads, events, processes
using UniqueFind = UniqueHandle<FindHandleTraits>;      // FindFirstFile
using UniqueRegKey = UniqueHandle<RegKeyTraits>;        // RegOpenKeyEx / RegCreateKeyEx
using UniqueMenu = UniqueHandle<MenuTraits>;            // CreatePopupMenu, CreateMenu
using UniqueIcon = UniqueHandle<IconTraits>;            // LoadImage(IMAGE_ICON), CreateIcon…, ImageList_GetIcon
using UniqueGlobalMemory = UniqueHandle<GlobalMemoryTraits>;  // GlobalAlloc, until handed to the clipboard

}  // namespace velmora
