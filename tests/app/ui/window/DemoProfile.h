#pragma once
// zymradio's temporary profile as scripts/run sets it up: its own folders, the demo account
// of the test server in its settings and the password in the keyring. Needs the keyring
// session of with-keyring.sh.

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <string>

#include <unistd.h>

#include "support/Env.h"
#include "support/TestServer.h"

struct DemoProfile {
    QTemporaryDir dir;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();

    // Scripts the demo set-up on the test server, writes the settings (`settings`: more
    // lines of the [General] group) and stores the password. "" when done, else what failed.
    std::string setUp(const QString& audioOutput, const QString& settings) {
        zymtest::TestServer& server = zymtest::TestServer::Get();
        QProcess demo;
        demo.start(QStringLiteral("python3"),
                   {QString::fromStdString(zymtest::SourceDir()) + QStringLiteral("/tests/server/demo.py"),
                    QString::number(server.Port())});
        if (!demo.waitForFinished(30000)) return "demo.py did not finish";
        const QString services = QString::fromUtf8(demo.readAllStandardOutput()).trimmed();
        if (!services.startsWith(QStringLiteral("http://127.0.0.1:"))) return "demo.py: " + services.toStdString();
        for (const char* name : {"XDG_CONFIG_HOME", "XDG_CACHE_HOME", "XDG_STATE_HOME"}) {
            env.insert(QString::fromLatin1(name), dir.filePath(QString::fromLatin1(name)));
            QDir().mkpath(dir.filePath(QString::fromLatin1(name)));
        }
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("ZYM_AUDIO_OUTPUT"), audioOutput);
        // The ad panel's web engine refuses its sandbox to root.
        if (geteuid() == 0) env.insert(QStringLiteral("QTWEBENGINE_CHROMIUM_FLAGS"), QStringLiteral("--no-sandbox"));
        // In a sanitizer build: what the prebuilt engine and the system libraries under it
        // keep at exit is theirs, and the engine frees some objects through a base without a
        // virtual destructor.
        QFile suppressions(dir.filePath(QStringLiteral("lsan.supp")));
        if (!suppressions.open(QIODevice::WriteOnly)) return "cannot write the leak suppressions";
        suppressions.write("leak:libQt6WebEngineCore\nleak:libfontconfig\nleak:libudev\nleak:libdbus-1\n");
        suppressions.close();
        env.insert(QStringLiteral("LSAN_OPTIONS"), QStringLiteral("suppressions=") + suppressions.fileName());
        const QString asan = env.value(QStringLiteral("ASAN_OPTIONS"));
        env.insert(QStringLiteral("ASAN_OPTIONS"), (asan.isEmpty() ? QString() : asan + QLatin1Char(':')) +
                                                       QStringLiteral("new_delete_type_mismatch=0"));
        QDir().mkpath(dir.filePath(QStringLiteral("XDG_CONFIG_HOME/zymradio")));
        QFile conf(dir.filePath(QStringLiteral("XDG_CONFIG_HOME/zymradio/zymradio.conf")));
        if (!conf.open(QIODevice::WriteOnly)) return "cannot write the settings";
        conf.write(QStringLiteral("[General]\nservice_url=%1\nscreenname=demo\n%2").arg(services, settings).toUtf8());
        conf.close();

        QProcess store;
        store.setProcessEnvironment(env);
        store.start(QStringLiteral(ZYMRADIO), {QStringLiteral("--store-password"), QStringLiteral("demo")});
        store.write("demo-password\n");
        store.closeWriteChannel();
        if (!store.waitForFinished(30000) || store.exitCode() != 0)
            return "storing the password: " + store.readAllStandardError().toStdString();
        return "";
    }
};
