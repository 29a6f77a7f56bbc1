#include "tests/support/SinkRecording.h"

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

size_t End(const std::vector<float>& s, size_t from, size_t count) {
  return count > s.size() - std::min(from, s.size()) ? s.size() : from + count;
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
  for (unsigned waited = 0;; waited += 50) {
    samples = Left();
    const long long onset = FirstAbove(samples, threshold);
    if ((onset >= 0 && samples.size() >= static_cast<size_t>(onset) + after) || waited >= timeoutMs) return samples;
    ::Sleep(50);
  }
}

std::vector<float> SinkRecording::WaitForSilence(double threshold, size_t quiet, unsigned timeoutMs) const {
  std::vector<float> samples;
  for (unsigned waited = 0;; waited += 50) {
    samples = Left();
    if ((samples.size() >= quiet && Peak(samples, samples.size() - quiet) < threshold) || waited >= timeoutMs)
      return samples;
    ::Sleep(50);
  }
}

double MedianToneAmplitude(const std::vector<float>& samples, double frequency, size_t from, size_t count) {
  constexpr size_t kWindow = 882;
  std::vector<double> amplitudes;
  const size_t end = End(samples, from, count);
  for (size_t i = from; i + kWindow <= end; i += kWindow)
    amplitudes.push_back(ToneAmplitude(samples, frequency, i, kWindow));
  if (amplitudes.empty()) return 0;
  std::nth_element(amplitudes.begin(), amplitudes.begin() + static_cast<long>(amplitudes.size() / 2), amplitudes.end());
  return amplitudes[amplitudes.size() / 2];
}

long long ToneOnset(const std::vector<float>& samples, double frequency, double threshold, size_t from) {
  constexpr size_t kWindow = 441;
  for (size_t i = from; i + kWindow <= samples.size(); i += kWindow / 2) {
    if (ToneAmplitude(samples, frequency, i, kWindow) > threshold) return static_cast<long long>(i);
  }
  return -1;
}

double Rms(const std::vector<float>& s, size_t from, size_t count) {
  const size_t end = End(s, from, count);
  if (end <= from) return 0;
  double sum = 0;
  for (size_t i = from; i < end; ++i) sum += static_cast<double>(s[i]) * s[i];
  return std::sqrt(sum / static_cast<double>(end - from));
}

double Peak(const std::vector<float>& s, size_t from, size_t count) {
  const size_t end = End(s, from, count);
  double peak = 0;
  for (size_t i = from; i < end; ++i) peak = std::max(peak, static_cast<double>(std::fabs(s[i])));
  return peak;
}

double ToneAmplitude(const std::vector<float>& s, double frequency, size_t from, size_t count) {
  const size_t end = End(s, from, count);
  if (end <= from) return 0;
  const double w = 2.0 * 3.14159265358979323846 * frequency / 44100.0;
  const double coefficient = 2.0 * std::cos(w);
  double s1 = 0, s2 = 0;
  for (size_t i = from; i < end; ++i) {
    const double s0 = s[i] + coefficient * s1 - s2;
    s2 = s1;
    s1 = s0;
  }
  const double power = s1 * s1 + s2 * s2 - coefficient * s1 * s2;
  return 2.0 * std::sqrt(std::max(power, 0.0)) / static_cast<double>(end - from);
}

long long FirstAbove(const std::vector<float>& s, double threshold, size_t from) {
  for (size_t i = from; i < s.size(); ++i) {
    if (std::fabs(s[i]) > threshold) return static_cast<long long>(i);
  }
  return -1;
}

void SleepMs(unsigned ms) { ::Sleep(ms); }

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
  for (unsigned waited = 0; waited < timeoutMs; waited += 20) {
    if (::GetFileAttributesW(markerPath.c_str()) != INVALID_FILE_ATTRIBUTES) {
      ::DeleteFileW(markerPath.c_str());
      return true;
    }
    ::Sleep(20);
  }
  return false;
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
