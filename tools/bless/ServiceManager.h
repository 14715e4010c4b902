// Telling the service manager about the installed units and starting the socket.
#pragma once

#include <string>
#include <vector>

namespace bless {

inline constexpr const char* kSystemctl = "/usr/bin/systemctl";

// The commands, in order, for the units of `label`:
//   daemon-reload                 read the new or changed unit files
//   stop <label>.service          end a helper still running from an earlier install
//   enable <label>.socket         listen again after a reboot
//   restart <label>.socket        (re)create the socket now, with its new owner
// Restarting rather than starting matters on a reinstall: a socket that is already listening
// keeps its old owner until it is made again.
std::vector<std::vector<std::string>> serviceCommands(const std::string& label);

// Runs each command with `manager` (fixed arguments, minimal environment, no shell) and stops
// at the first that fails; false with the failing command and its output in `error`.
bool startService(const std::string& manager, const std::string& label, std::string& error);

}  // namespace bless
