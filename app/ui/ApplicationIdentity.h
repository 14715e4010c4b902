// How the desktop recognises the application: the desktop file it belongs to (which gives the
// Wayland app id and ties windows to com.tarquell.Ferrolux.desktop) and the window icon, taken
// from the application's own resources so that a run from the build tree has it too.
#pragma once

#include <QIcon>

namespace ApplicationIdentity {

inline constexpr const char* kIconResource = ":/icons/com.tarquell.Ferrolux.svg";

// The icon, from the resources compiled into the program.
QIcon icon();
// Sets the desktop file name and every window's icon; call once the application object exists
// and before the first window is shown.
void apply();

}  // namespace ApplicationIdentity
