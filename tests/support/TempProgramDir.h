// A throw-away program directory under %TEMP% for tests that need real folders and files.
#pragma once

#include <string>
#include <string_view>

namespace velmora::test {

class TempProgramDir {
 public:
  // `tag` becomes part of the folder name; Chinese text is welcome.
  explicit TempProgramDir(std::wstring_view tag = L"程序");
  ~TempProgramDir();
  TempProgramDir(const TempProgramDir&) = delete;
  TempProgramDir& operator=(const TempProgramDir&) = delete;

  const std::wstring& Path() const { return path_; }
  std::wstring operator/(std::wstring_view relative) const { return path_ + L"\\" + std::wstring(relative); }

 private:
  std::wstring path_;
};

// Deletes a folder and everything inside it (read-only attributes cleared first).
void RemoveTree(const std::wstring& path);

}  // namespace velmora::test
