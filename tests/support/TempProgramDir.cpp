#include "tests/support/TempProgramDir.h"

#include <windows.h>

#include <atomic>
#include <vector>

namespace velmora::test {

namespace {
std::atomic<int> g_counter{0};
}

TempProgramDir::TempProgramDir(std::wstring_view tag) {
  wchar_t temp[MAX_PATH + 1];
  const DWORD n = ::GetTempPathW(MAX_PATH + 1, temp);
  std::wstring base(temp, n);
  if (!base.empty() && base.back() == L'\\') base.pop_back();
  const std::wstring name = L"velmora-" + std::wstring(tag) + L"-" + std::to_wstring(::GetCurrentProcessId()) +
                            L"-" + std::to_wstring(g_counter++);
  path_ = base + L"\\" + name;
  RemoveTree(path_);
  ::CreateDirectoryW(path_.c_str(), nullptr);
}

TempProgramDir::~TempProgramDir() { RemoveTree(path_); }

void RemoveTree(const std::wstring& path) {
  const DWORD attributes = ::GetFileAttributesW(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return;
  ::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL | (attributes & FILE_ATTRIBUTE_DIRECTORY));
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
    ::DeleteFileW(path.c_str());
    return;
  }
  WIN32_FIND_DATAW data;
  HANDLE find = ::FindFirstFileW((path + L"\\*").c_str(), &data);
  if (find != INVALID_HANDLE_VALUE) {
    std::vector<std::wstring> children;
    do {
      const std::wstring name = data.cFileName;
      if (name != L"." && name != L"..") children.push_back(path + L"\\" + name);
    } while (::FindNextFileW(find, &data));
    ::FindClose(find);
    for (const std::wstring& child : children) RemoveTree(child);
  }
  ::RemoveDirectoryW(path.c_str());
}

}  // namespace velmora::test
