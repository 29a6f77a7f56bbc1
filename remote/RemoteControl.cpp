#include "remote/RemoteControl.h"

namespace velmora::remote {

RemoteStatus RemoteControl::Start(const ServerSettings& settings) {
  Stop();
  if (!link_.Create()) return status_ = RemoteStatus::Failed;
  switch (server_.Start(settings)) {
    case StartResult::Started:
      return status_ = RemoteStatus::Listening;
    case StartResult::PortInUse:
      return status_ = RemoteStatus::PortInUse;
    case StartResult::Failed:
      break;
  }
  return status_ = RemoteStatus::Failed;
}

RemoteStatus RemoteControl::Fail() {
  Stop();
  return status_ = RemoteStatus::Failed;
}

void RemoteControl::Stop() {
  link_.StopWatching();
  server_.Stop();
  status_ = RemoteStatus::Off;
}

}  // namespace velmora::remote
