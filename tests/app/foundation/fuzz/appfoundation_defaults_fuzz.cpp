// The settings file as found on disk, read through the typed getters; every value then
// stored back by type, written, and read again from a new file object. A number survives
// its trip through the file's text, whatever the locale and the text it came from. The
// files live in a temporary folder, one name per input.

#include "app/foundation/UserDefaults.h"

#include <QFile>
#include <QLoggingCategory>
#include <QSettings>
#include <QTemporaryDir>

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // QSettings' warnings about odd entries would only slow the run down.
    static const bool quiet =
        (qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {}), true);
    (void)quiet;
    static QTemporaryDir dir;
    static unsigned serial = 0;
    // QSettings caches a file by its name; a new name per input keeps runs independent.
    const QString path = dir.filePath(QStringLiteral("defaults-%1.conf").arg(serial++));
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly)) abort();
        file.write(reinterpret_cast<const char*>(data), qint64(size));
    }

    QStringList keys;
    struct Typed {
        QString key;
        qint64 integer;
        double number;
        bool flag;
        QString text;
    };
    QList<Typed> typed;
    {
        UserDefaults defaults(path);
        defaults.registerDefaults({{"registered", 1.5}, {"list", QStringList{"a", "b"}}});
        keys = QSettings(path, QSettings::IniFormat).allKeys();
        keys << "registered"
             << "list"
             << "absent";
        for (const QString& stored : keys) {
            const QString key = UserDefaults::decodeKey(stored);
            if (UserDefaults::decodeKey(UserDefaults::encodeKey(key)) != key) abort();
            (void)defaults.object(key);
            (void)defaults.floatValue(key);
            (void)defaults.array(key);
            (void)defaults.stringArray(key);
            (void)defaults.dictionary(key);
            (void)defaults.data(key);
            typed.append(
                {key, defaults.integer(key), defaults.doubleValue(key), defaults.boolean(key), defaults.string(key)});
        }
        // Stored back by type under new keys, so that the originals are read as they came.
        for (qsizetype i = 0; i < typed.size(); ++i) {
            const Typed& t = typed[i];
            defaults.setInteger(QStringLiteral("i/%1").arg(i), t.integer);
            defaults.setDouble(QStringLiteral("d/%1").arg(i), t.number);
            defaults.setBool(QStringLiteral("b/%1").arg(i), t.flag);
            if (!t.text.isNull()) defaults.setString(QStringLiteral("s/%1").arg(i) + t.key, t.text);
        }
        // A file QSettings found malformed is left as it is, not overwritten.
        if (!defaults.synchronize()) {
            QFile::remove(path);
            return 0;
        }
    }
    // A copy under a new name, so that the values come from the text and not from QSettings' cache.
    const QString copy = path + QStringLiteral(".copy");
    if (!QFile::copy(path, copy)) abort();
    {
        UserDefaults again(copy);
        for (qsizetype i = 0; i < typed.size(); ++i) {
            const Typed& t = typed[i];
            if (again.integer(QStringLiteral("i/%1").arg(i)) != t.integer) abort();
            const double d = again.doubleValue(QStringLiteral("d/%1").arg(i));
            if (!std::isnan(t.number) && d != t.number) abort();
            if (again.boolean(QStringLiteral("b/%1").arg(i)) != t.flag) abort();
        }
    }
    QFile::remove(path);
    QFile::remove(copy);
    return 0;
}
