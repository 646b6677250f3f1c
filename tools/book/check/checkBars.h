// Where the call bar and the error bar land on the screen for the settings' Xpos and Ypos.
#pragma once

#include <map>
#include <string>

#include "check/check.h"
#include "check/simReceiver.h"

namespace book
{

// `appliedOn`: the line that set each setting; `appliedValue`: its value as written.
void checkPosition(CheckReport &report, SimulatedReceiver &receiver, const std::map<std::string, int> &appliedOn,
                   const std::map<std::string, std::string> &appliedValue);

} // namespace book
