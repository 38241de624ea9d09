#include "app/services/Localizer.h"

#include "app/services/NSLog.h"
#include "app/services/Resources.h"
#include "app/services/StringsTable.h"

#include <QFile>

QString Localizer::text(const QString& key, const QString& defaultValue, const QString& table) {
    const auto& entries = load(table.isEmpty() ? QStringLiteral("Localizable") : table);
    const auto it = entries.constFind(key);
    if (it != entries.constEnd()) return it.value();
    return defaultValue.isEmpty() ? key : defaultValue;
}

void Localizer::reset() { tables_.clear(); }

Localizer& Localizer::shared() {
    static Localizer localizer;
    return localizer;
}

const QHash<QString, QString>& Localizer::load(const QString& table) {
    auto it = tables_.find(table);
    if (it != tables_.end()) return it.value();
    QHash<QString, QString> entries;
    const QString path = Resources::find(table, QStringLiteral("strings"));
    if (!path.isEmpty()) {
        QFile file(path);
        if (file.open(QIODevice::ReadOnly)) {
            QString error;
            if (auto parsed = StringsTable::parse(file.readAll(), &error))
                entries = std::move(*parsed);
            else
                NSLog(QStringLiteral("strings table %1 not read: %2").arg(path, error));
        } else {
            NSLog(QStringLiteral("strings table %1 not read: %2").arg(path, file.errorString()));
        }
    }
    return tables_.insert(table, std::move(entries)).value();
}
