#include "app/foundation/ZYMFileManager.h"

#include <QDir>
#include <QStringList>

#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

namespace ZYMFileManager {

bool fileExistsAtPath(const QString& path, bool* isDirectory, bool followLinks) {
    const QByteArray native = QFile::encodeName(path);
    struct stat st {};
    if (lstat(native.constData(), &st) != 0) return false;
    bool dir = S_ISDIR(st.st_mode);
    if (!dir && followLinks && S_ISLNK(st.st_mode)) {
        struct stat target {};
        dir = stat(native.constData(), &target) == 0 && S_ISDIR(target.st_mode);
    }
    if (isDirectory) *isDirectory = dir;
    return true;
}

namespace {

bool isWritable(const QString& path) { return access(QFile::encodeName(path).constData(), W_OK) == 0; }

}  // namespace

bool ensureDirectoriesInPath(const QString& path) {
    bool isDir = false;
    if (fileExistsAtPath(path, &isDir, true)) return isDir && isWritable(path);

    const QString standard = QDir::cleanPath(path);
    QStringList components = standard.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    if (components.size() <= 1) return false;
    const QString root = standard.startsWith(QLatin1Char('/')) ? QStringLiteral("/") : QString();

    // The deepest existing ancestor; the components below it are to be made.
    int existing = int(components.size()) - 1;
    QString ancestor;
    bool ancestorIsDir = false;
    for (; existing > 0; --existing) {
        ancestor = root + QStringList(components.mid(0, existing)).join(QLatin1Char('/'));
        if (fileExistsAtPath(ancestor, &ancestorIsDir, true)) break;
    }
    if (existing == 0) {
        if (root.isEmpty()) return false;
        ancestor = root;
        ancestorIsDir = true;
    }
    if (!ancestorIsDir || !isWritable(ancestor)) return false;

    struct stat attributes {};
    if (stat(QFile::encodeName(ancestor).constData(), &attributes) != 0) return false;

    QString current = ancestor;
    for (int i = existing; i < components.size(); ++i) {
        current = (current.endsWith(QLatin1Char('/')) ? current : current + QLatin1Char('/')) + components[i];
        const QByteArray native = QFile::encodeName(current);
        if (mkdir(native.constData(), 0700) != 0) return false;
        // The owner is given only where the process may. The mode is set, not left to
        // the umask.
        if (geteuid() == 0) (void)chown(native.constData(), attributes.st_uid, attributes.st_gid);
        if (chmod(native.constData(), 0700) != 0) return false;
    }
    return true;
}

bool makeFilePrivate(const QString& path) { return chmod(QFile::encodeName(path).constData(), 0600) == 0; }

bool makeFilePrivate(int fd) { return fd >= 0 && fchmod(fd, 0600) == 0; }

}  // namespace ZYMFileManager
