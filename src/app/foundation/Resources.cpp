#include "app/foundation/Resources.h"

#include <QFileInfo>

namespace {

QStringList& PushedRoots() {
    static QStringList roots;
    return roots;
}

bool SafeName(const QString& name) {
    if (name.isEmpty() || name.startsWith(QLatin1Char('/')) || name.contains(QLatin1Char('\\'))) return false;
    for (const QString& part : name.split(QLatin1Char('/')))
        if (part.isEmpty() || part == QLatin1String("..") || part == QLatin1String(".")) return false;
    return true;
}

}  // namespace

QString Resources::find(const QString& name, const QString& type) {
    const QString file = type.isEmpty() ? name : name + QLatin1Char('.') + type;
    if (!SafeName(file)) return QString();
    for (const QString& root : roots()) {
        const QString path = root.endsWith(QLatin1Char('/')) ? root + file : root + QLatin1Char('/') + file;
        const QFileInfo info(path);
        if (info.exists() && info.isFile()) return path;
    }
    return QString();
}

void Resources::pushRoot(const QString& folder) { PushedRoots().prepend(folder); }

void Resources::popRoot() {
    if (!PushedRoots().isEmpty()) PushedRoots().removeFirst();
}

QStringList Resources::roots() {
    QStringList all = PushedRoots();
    all.append(QStringLiteral(":/"));
    return all;
}
