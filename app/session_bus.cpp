#include "app/session_bus.h"

#include <QtGlobal>

#if defined(Q_OS_UNIX) && !defined(Q_OS_DARWIN)
#include <QByteArray>

#include <sys/stat.h>
#include <unistd.h>
#endif

namespace sessionbus {

#if defined(Q_OS_UNIX) && !defined(Q_OS_DARWIN)

namespace {

// The user bus as libdbus finds it without an address: a socket named "bus"
// in XDG_RUNTIME_DIR, owned by this user.
bool userBusExists() {
    const QByteArray runtimeDir = qgetenv("XDG_RUNTIME_DIR");
    if (runtimeDir.isEmpty()) {
        return false;
    }
    struct stat status {};
    const QByteArray socket = runtimeDir + "/bus";
    return ::lstat(socket.constData(), &status) == 0 && S_ISSOCK(status.st_mode) &&
           status.st_uid == ::getuid();
}

} // namespace

void preventAutolaunch() {
    // libdbus reads an empty address as none.
    if (!qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS") || userBusExists()) {
        return;
    }
    qputenv("DBUS_SESSION_BUS_ADDRESS", "disabled:");
}

#else

void preventAutolaunch() {}

#endif

} // namespace sessionbus
