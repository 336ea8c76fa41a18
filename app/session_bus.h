#pragma once

// Qt asks for the D-Bus session bus while the window is built: its menu bar
// looks there for a desktop's global menu, and its screen-reader bridge for
// the accessibility bus. When no session bus is named (DBUS_SESSION_BUS_ADDRESS
// unset) and the user has none in XDG_RUNTIME_DIR, libdbus "autolaunches" one
// for the X display: a dbus-launch and a dbus-daemon, which stay after the
// program ends, as long as the display does. A script that runs the program
// under Xvfb, or a user logged in through ssh -X or su, finds them left behind.
//
// Before the application exists: where there is no session bus, names it
// "disabled:", the usual address for "there is none". It matches no way of
// connecting, so Qt's attempts fail at once and start nothing. A session bus
// that exists, named or in XDG_RUNTIME_DIR, is used as before, and a screen
// reader reaches the window through it. Does nothing on Windows and macOS,
// where Qt does not look for a session bus.
namespace sessionbus {

void preventAutolaunch();

} // namespace sessionbus
