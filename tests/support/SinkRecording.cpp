#include "tests/support/SinkRecording.h"
#include "tests/support/Waiting.h"

#include "playback/engine/Devices.h"
#include "tests/support/Files.h"

#include <windows.h>

#include <algorithm>
#include <cmath>

namespace velmora::test {

namespace {

long long FileSize(const std::wstring& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!::GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return 0;
  return (static_cast<long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

}  // namespace

SinkRecording::SinkRecording(const std::string& sinkName) {
  path_ = FromUnixPath((std::string(VELMORA_AUDIO_DIR_UNIX) + "/" + sinkName + ".raw").c_str());
  start_ = FileSize(path_) / 4 * 4;
}

long long SinkRecording::FileFrames() const { return FileSize(path_) / 4; }

std::vector<float> SinkRecording::Left() const {
  std::vector<float> out;
  HANDLE file = ::CreateFileW(path_.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return out;
  LARGE_INTEGER offset;
  offset.QuadPart = start_;
  ::SetFilePointerEx(file, offset, nullptr, FILE_BEGIN);
  std::vector<int16_t> chunk(1 << 16);
  DWORD got = 0;
  while (::ReadFile(file, chunk.data(), static_cast<DWORD>(chunk.size() * sizeof(int16_t)), &got, nullptr) && got > 0) {
    const size_t values = got / sizeof(int16_t);
    for (size_t i = 0; i + 1 < values; i += 2) out.push_back(static_cast<float>(chunk[i]) / 32768.0f);
  }
  ::CloseHandle(file);
  return out;
}

std::vector<float> SinkRecording::WaitForSound(double threshold, size_t after, unsigned timeoutMs) const {
  std::vector<float> samples;
  WaitFor([&] {
    samples = Left();
    const long long onset = FirstAbove(samples, threshold);
    return onset >= 0 && samples.size() >= static_cast<size_t>(onset) + after;
  }, timeoutMs);
  return samples;
}

std::vector<float> SinkRecording::WaitForSamples(size_t count, unsigned timeoutMs) const {
  std::vector<float> samples;
  WaitFor([&] { return (samples = Left()).size() >= count; }, timeoutMs);
  return samples;
}

std::vector<float> SinkRecording::WaitForSilence(double threshold, size_t quiet, unsigned timeoutMs) const {
  std::vector<float> samples;
  WaitFor([&] {
    samples = Left();
    return samples.size() >= quiet && Peak(samples, samples.size() - quiet) < threshold;
  }, timeoutMs);
  return samples;
}

}  // namespace velmora::test

namespace velmora::test {

bool RunHostCommand(const std::string& command, unsigned timeoutMs) {
  // Wine cannot wait on a Unix process, so the command leaves a marker file when it is done.
  static int counter = 0;
  const std::string marker = std::string(VELMORA_AUDIO_DIR_UNIX) + "/done-" + std::to_string(::GetCurrentProcessId()) +
                             "-" + std::to_string(++counter);
  // Wine splits the command line by Windows rules: double quotes group, \" is a literal quote.
  std::string script = command + "; touch " + marker;
  std::string quoted;
  for (char ch : script) {
    if (ch == '"') quoted += '\\';
    quoted += ch;
  }
  const std::string line = "sh -c \"" + quoted + "\"";
  std::wstring wide(line.begin(), line.end());
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process{};
  if (!::CreateProcessW(L"Z:\\bin\\sh", wide.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
    return false;
  // A 32-bit Wine process gets stray values back for a Unix program's handles (seen: stack
  // addresses), and closing those can close one of ours, standard output among them: only
  // handles that really name the new process are closed.
  if (process.hProcess && ::GetProcessId(process.hProcess) == process.dwProcessId) {
    ::CloseHandle(process.hThread);
    ::CloseHandle(process.hProcess);
  }
  const std::wstring markerPath = FromUnixPath(marker.c_str());
  if (!WaitFor([&] { return ::GetFileAttributesW(markerPath.c_str()) != INVALID_FILE_ATTRIBUTES; }, timeoutMs))
    return false;
  ::DeleteFileW(markerPath.c_str());
  return true;
}

bool ChangeSoundServer(const std::string& action, const std::string& sink) {
  return RunHostCommand(std::string("bash ") + VELMORA_SOURCE_DIR_UNIX + "/scripts/test-audio-ctl.sh " +
                        VELMORA_AUDIO_DIR_UNIX + " " + action + " " + sink);
}

bool PlayIntoSink(const std::string& sink, const std::string& wavBytes) {
  static int counter = 0;
  const std::string unixPath = std::string(VELMORA_AUDIO_DIR_UNIX) + "/into-" + sink + "-" +
                               std::to_string(::GetCurrentProcessId()) + "-" + std::to_string(++counter) + ".wav";
  WriteBytes(FromUnixPath(unixPath.c_str()), wavBytes);
  return RunHostCommand(std::string("bash ") + VELMORA_SOURCE_DIR_UNIX + "/scripts/test-audio-ctl.sh " +
                        VELMORA_AUDIO_DIR_UNIX + " tone " + sink + " " + unixPath);
}

namespace {
int FindEndpoint(const wchar_t* description, audio::Flow flow) {
  const std::vector<audio::Endpoint> endpoints = audio::ListEndpoints(flow);
  for (size_t i = 0; i < endpoints.size(); ++i) {
    if (endpoints[i].name.find(description) != std::wstring::npos)
      return static_cast<int>(i) + audio::kFirstEndpointDevice;
  }
  return -1;
}
}  // namespace

int TestSinkDevice(const wchar_t* description) { return FindEndpoint(description, audio::Flow::Render); }

int TestSinkCaptureDevice(const wchar_t* description) { return FindEndpoint(description, audio::Flow::Capture); }

}  // namespace velmora::test
