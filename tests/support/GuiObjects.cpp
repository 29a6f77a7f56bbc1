#include "tests/support/GuiObjects.h"

#include <windows.h>
#include <winternl.h>

#include <cstdint>

namespace velmora::test {

namespace {

// One entry of the GDI handle table the PEB points to (Wine's layout, the same in 32-bit and
// 64-bit processes).
struct GdiHandleEntry {
  uint64_t object;
  uint32_t owner;
  uint16_t unique;
  uint8_t type;
  uint8_t flags;
  uint64_t user;
};

constexpr size_t kGdiTableEntries = 65536;
// Where the PEB keeps its GdiSharedHandleTable pointer.
#ifdef _WIN64
constexpr size_t kPebGdiTable = 0xF8;
#else
constexpr size_t kPebGdiTable = 0x94;
#endif

BOOL CALLBACK CountChild(HWND, LPARAM counter) {
  ++*reinterpret_cast<int*>(counter);
  return TRUE;
}

BOOL CALLBACK CountTopLevel(HWND hwnd, LPARAM counter) {
  ++*reinterpret_cast<int*>(counter);
  ::EnumChildWindows(hwnd, CountChild, counter);
  return TRUE;
}

}  // namespace

int GdiObjectCount() {
  if (const DWORD count = ::GetGuiResources(::GetCurrentProcess(), GR_GDIOBJECTS)) return static_cast<int>(count);
  PROCESS_BASIC_INFORMATION basic{};
  if (::NtQueryInformationProcess(::GetCurrentProcess(), ProcessBasicInformation, &basic, sizeof(basic), nullptr) != 0)
    return -1;
  const PEB* peb = basic.PebBaseAddress;
  const auto* table = *reinterpret_cast<GdiHandleEntry* const*>(reinterpret_cast<const char*>(peb) + kPebGdiTable);
  if (!table) return -1;
  int count = 0;
  for (size_t i = 0; i < kGdiTableEntries; ++i) count += table[i].type != 0;
  return count;
}

int UserObjectCount() {
  if (const DWORD count = ::GetGuiResources(::GetCurrentProcess(), GR_USEROBJECTS)) return static_cast<int>(count);
  int windows = 0;
  ::EnumThreadWindows(::GetCurrentThreadId(), CountTopLevel, reinterpret_cast<LPARAM>(&windows));
  return windows;
}

}  // namespace velmora::test
