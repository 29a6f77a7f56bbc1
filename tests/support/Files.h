// Byte-exact file access and small helpers for the tests.
#pragma once

#include <string>
#include <vector>
#include <string_view>

namespace velmora::test {

std::string ReadBytes(const std::wstring& path);
bool WriteBytes(const std::wstring& path, std::string_view bytes);

// Creates the folder and its parents.
bool MakeFolders(const std::wstring& path);

// Creates a small file (content: its own name) and returns its full path.
std::wstring MakeFile(const std::wstring& folder, std::wstring_view name);

// A path of the Linux side ("/work/x") as Wine's Z: drive sees it ("Z:\\work\\x").
std::wstring FromUnixPath(const char* unixPath);

// A 16-bit stereo 44.1 kHz WAV file's bytes holding a sine of the given amplitude (0..1).
std::string ToneWav(double frequency, double seconds, double amplitude);
// The same file holding `mono` (44.1 kHz, -1..1) on both channels.
std::string StereoWav(const std::vector<float>& mono);

// UTF-8 literal -> GBK bytes, for writing configuration files by hand in tests.
std::string Gbk(std::wstring_view text);

}  // namespace velmora::test
