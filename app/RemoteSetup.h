// Section 遥控 as the remote control starts with it: the access code made when there is none,
// renewed on request, and the server started, restarted or stopped as the section says.
#pragma once

#include "config/Settings.h"
#include "remote/RemoteControl.h"

#include <string>

namespace velmora::config {
class ConfigStore;
}

namespace velmora::app {

// The setting to start the server with: when it is on and the stored code is missing or not 32
// lowercase hex digits, a new one is made and stored. False when the system's random number
// generator failed or the code could not be stored (the server must not start with a guessable
// code, nor with one the settings window cannot show).
bool PrepareRemoteSetting(const config::ConfigStore& store, config::RemoteSetting& setting);

// Switches the control on or off (开关); switching on makes the code when there is none.
bool SetRemoteOn(const config::ConfigStore& store, bool on);

// A new code from the system's cryptographic generator, stored; empty when either failed (the
// stored code, if any, is then still the one in force).
std::string RenewToken(const config::ConfigStore& store);

// Starts the control with section 遥控 as stored now (restarting it when it runs), or stops it
// when that says off.
remote::RemoteStatus ApplyRemoteSetting(remote::RemoteControl& control, const config::ConfigStore& store);

}  // namespace velmora::app
