#include "app/foundation/ZYMInstanceSocket.h"

#include <QDir>
#include <QFile>

#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ZYMInstanceSocket {

bool isPrivateFolder(const QString& folder) {
    struct stat st {};
    if (folder.isEmpty() || lstat(QFile::encodeName(folder).constData(), &st) != 0) return false;
    return S_ISDIR(st.st_mode) && st.st_uid == geteuid() && (st.st_mode & 077) == 0;
}

QString path() {
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (runtime.startsWith(QLatin1Char('/')) && isPrivateFolder(runtime))
        return QDir::cleanPath(runtime) + QStringLiteral("/zymradio.socket");
    // Named by the user id, never by $USER (which may be unset or anything).
    const QString folder =
        QDir::cleanPath(QDir::tempPath()) + QStringLiteral("/zymradio-") + QString::number(qulonglong(geteuid()));
    const QByteArray native = QFile::encodeName(folder);
    // mkdir fails on anything already there; what is there must then prove to be ours.
    (void)mkdir(native.constData(), 0700);
    if (!isPrivateFolder(folder)) return {};
    return folder + QStringLiteral("/instance.socket");
}

bool peerIsThisUser(int fd) {
    struct ucred cred {};
    socklen_t size = sizeof cred;
    if (fd < 0 || getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &cred, &size) != 0 || size != sizeof cred) return false;
    return cred.uid == geteuid();
}

}  // namespace ZYMInstanceSocket
