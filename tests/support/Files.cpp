#include "tests/support/Files.h"

#include <windows.h>

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace velmora::test {

std::string ReadBytes(const std::wstring& path) {
  HANDLE file = ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return {};
  std::string bytes;
  char chunk[65536];
  DWORD n = 0;
  while (::ReadFile(file, chunk, sizeof(chunk), &n, nullptr) && n > 0) bytes.append(chunk, n);
  ::CloseHandle(file);
  return bytes;
}

bool WriteBytes(const std::wstring& path, std::string_view bytes) {
  HANDLE file =
      ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  const BOOL ok = ::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  ::CloseHandle(file);
  return ok && written == bytes.size();
}

bool MakeFolders(const std::wstring& path) {
  if (::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES) return true;
  const size_t slash = path.rfind(L'\\');
  if (slash != std::wstring::npos && slash > 2) MakeFolders(path.substr(0, slash));
  return ::CreateDirectoryW(path.c_str(), nullptr) != FALSE;
}

std::wstring MakeFile(const std::wstring& folder, std::wstring_view name) {
  MakeFolders(folder);
  const std::wstring path = folder + L"\\" + std::wstring(name);
  WriteBytes(path, "sound");
  return path;
}

std::wstring FromUnixPath(const char* unixPath) {
  const std::string utf8(unixPath);
  const int needed = ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  std::wstring wide(static_cast<size_t>(needed), L'\0');
  ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(), needed);
  for (wchar_t& ch : wide) {
    if (ch == L'/') ch = L'\\';
  }
  return L"Z:" + wide;
}

std::string StereoWav(const std::vector<float>& mono) {
  std::string pcm;
  pcm.reserve(mono.size() * 4);
  for (float sample : mono) {
    const auto v = static_cast<int16_t>(std::lround(std::clamp(sample, -1.0f, 1.0f) * 32767));
    for (int c = 0; c < 2; ++c) {
      pcm.push_back(static_cast<char>(v & 0xFF));
      pcm.push_back(static_cast<char>((v >> 8) & 0xFF));
    }
  }
  auto u32 = [](uint32_t x) { return std::string{char(x), char(x >> 8), char(x >> 16), char(x >> 24)}; };
  auto u16 = [](uint16_t x) { return std::string{char(x), char(x >> 8)}; };
  return "RIFF" + u32(36 + static_cast<uint32_t>(pcm.size())) + "WAVEfmt " + u32(16) + u16(1) + u16(2) + u32(44100) +
         u32(44100 * 4) + u16(4) + u16(16) + "data" + u32(static_cast<uint32_t>(pcm.size())) + pcm;
}

std::string ToneWav(double frequency, double seconds, double amplitude) {
  std::vector<float> mono(static_cast<size_t>(seconds * 44100));
  for (size_t i = 0; i < mono.size(); ++i)
    mono[i] = static_cast<float>(amplitude * std::sin(2 * 3.14159265358979 * frequency * static_cast<double>(i) / 44100));
  return StereoWav(mono);
}

std::string Gbk(std::wstring_view text) {
  const int length = static_cast<int>(text.size());
  const int needed = ::WideCharToMultiByte(936, 0, text.data(), length, nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(needed), '\0');
  ::WideCharToMultiByte(936, 0, text.data(), length, out.data(), needed, nullptr, nullptr);
  return out;
}

}  // namespace velmora::test
