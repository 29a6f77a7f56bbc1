#include "remote/RemoteControl.h"

#include "remote/RemoteSettings.h"

namespace velmora::remote {

RemoteStatus RemoteControl::Apply(const config::ConfigStore& store) {
  Stop();
  status_ = RemoteStatus::Off;
  RemoteSetting setting;
  if (!PrepareRemoteSetting(store, setting)) return status_ = RemoteStatus::Failed;
  if (!setting.on) return status_;
  if (!link_.Create()) return status_ = RemoteStatus::Failed;
  switch (server_.Start(ServerSettings{setting.port, setting.lan, setting.token})) {
    case StartResult::Started:
      return status_ = RemoteStatus::Listening;
    case StartResult::PortInUse:
      return status_ = RemoteStatus::PortInUse;
    case StartResult::Failed:
      break;
  }
  return status_ = RemoteStatus::Failed;
}

void RemoteControl::Stop() {
  link_.StopWatching();
  server_.Stop();
  status_ = RemoteStatus::Off;
}

}  // namespace velmora::remote
