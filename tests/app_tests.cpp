// The built program's resources: icon and the manifest that brings Common Controls v6.
#include "assets/resource.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <string>

namespace {

std::wstring ProgramPath() {
  wchar_t self[MAX_PATH];
  const DWORD n = ::GetModuleFileNameW(nullptr, self, MAX_PATH);
  std::wstring path(self, n);
  path.resize(path.rfind(L'\\'));  // tests/
  path.resize(path.rfind(L'\\'));  // build root
  return path + L"\\app\\velmora.exe";
}

}  // namespace

TEST(Resources, IconAndCommonControlsManifest) {
  const std::wstring exe = ProgramPath();
  HMODULE module = ::LoadLibraryExW(exe.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
  ASSERT_NE(module, nullptr) << "cannot open the built program";
  EXPECT_NE(::FindResourceW(module, MAKEINTRESOURCEW(IDI_APP), RT_GROUP_ICON), nullptr);
  HRSRC manifest = ::FindResourceW(module, MAKEINTRESOURCEW(1), RT_MANIFEST);
  ASSERT_NE(manifest, nullptr);
  const char* text = static_cast<const char*>(::LockResource(::LoadResource(module, manifest)));
  const std::string xml(text, ::SizeofResource(module, manifest));
  EXPECT_NE(xml.find("Microsoft.Windows.Common-Controls"), std::string::npos);
  ::FreeLibrary(module);

  // The manifest resolves: with its activation context active, comctl32 is redirected to the
  // side-by-side version 6 assembly.
  ACTCTXW context{};
  context.cbSize = sizeof(context);
  context.dwFlags = ACTCTX_FLAG_RESOURCE_NAME_VALID;
  context.lpSource = exe.c_str();
  context.lpResourceName = MAKEINTRESOURCEW(1);
  HANDLE actctx = ::CreateActCtxW(&context);
  ASSERT_NE(actctx, INVALID_HANDLE_VALUE) << ::GetLastError();
  ULONG_PTR cookie = 0;
  ASSERT_TRUE(::ActivateActCtx(actctx, &cookie));
  ACTCTX_SECTION_KEYED_DATA data{};
  data.cbSize = sizeof(data);
  EXPECT_TRUE(::FindActCtxSectionStringW(0, nullptr, ACTIVATION_CONTEXT_SECTION_DLL_REDIRECTION, L"comctl32.dll",
                                         &data));
  ::DeactivateActCtx(0, cookie);
  ::ReleaseActCtx(actctx);
}
