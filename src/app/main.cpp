// zymradio: the main window signed on to the radio services, playing a station.
//
//   zymradio [--services URL] [--screenshot PATH] [--quit-after SECONDS] [zymradio:...|qint:...]
//   zymradio --store-password NAME     (the password on standard input, into the keyring)
//   zymradio --version
//
// With --screenshot the window is saved as a PNG once a station plays with its track
// shown; the path and what plays are printed, and --quit-after quits that many seconds
// later through the normal quit.

#include <QApplication>
#include <QCommandLineParser>
#include <QIcon>
#include <QLoggingCategory>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <optional>
#include <iostream>
#include <string>

#include <sys/stat.h>

#include "app/foundation/Localizer.h"
#include "app/signon/PasswordStore.h"
#include "app/foundation/Resources.h"
#include "app/foundation/ServiceLayerError.h"
#include "app/foundation/UserDefaults.h"
#include "app/support/ZYMScriptingBus.h"
#include "app/ui/RadioAppController.h"
#include "app/ui/WindowHelpers.h"
#include "app/radio/RadioMetadataParser.h"
#include "ProgramServices.h"

namespace {
// No window is needed for this, so it runs before any display is opened.
int StorePassword(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCommandLineParser options;
    QCommandLineOption storePassword(QStringLiteral("store-password"), QString(), QStringLiteral("NAME"));
    options.addOption(storePassword);
    options.process(app);
    std::string line;
    std::getline(std::cin, line);
    const QString password = QString::fromStdString(line).trimmed();
    if (password.isEmpty()) return 2;
    const QString name = options.value(storePassword);
    const QString service = Localizer::shared().text(QStringLiteral("RadioKeychainService"));
    KeychainUtils::savePasswordToKeychain(PasswordStore::system(), password, name, service);
    return KeychainUtils::passwordForScreenName(PasswordStore::system(), name, service) == password ? 0 : 1;
}

// The first argument that is not an option, as the desktop file passes it (%u).
std::optional<QString> LaunchURL(const QCommandLineParser& options) {
    const QStringList positional = options.positionalArguments();
    if (positional.isEmpty()) return std::nullopt;
    return positional.first();
}

// The ad panel's web engine reports its GL set-up on stderr at every start, and Chromium
// its GPU complaints where there is no GPU: none of it is the listener's business. Set
// before the engine starts; QT_LOGGING_RULES and flags given by the caller still win.
void QuietWebEngine() {
    QByteArray flags = qgetenv("QTWEBENGINE_CHROMIUM_FLAGS");
    const auto add = [&flags](const QByteArray& name, const QByteArray& flag) {
        if (flags.contains(name)) return;
        if (!flags.isEmpty()) flags += ' ';
        flags += flag;
    };
    add("--enable-logging", "--disable-logging");
    add("--log-level", "--log-level=3");
    qputenv("QTWEBENGINE_CHROMIUM_FLAGS", flags);
    QLoggingCategory::setFilterRules(QStringLiteral("qt.webenginecontext.info=false"));
}

void SaveScreenshot(RadioWindowController& window, const QString& path) {
    if (!grabWithInnerWindows(window.window()).save(path, "PNG")) {
        std::fprintf(stderr, "could not save %s\n", qPrintable(path));
        return;
    }
    std::printf("screenshot: %s\n", qPrintable(path));
    std::printf("playing: %s\n", qPrintable(window.displayText().replace('\n', QStringLiteral(" - "))));
    std::fflush(stdout);
}
}  // namespace

int main(int argc, char** argv) {
    // Everything the program writes (settings, log, caches, statistics, album art) holds
    // the account and the listening history: its user's alone, files 0600 and folders 0700,
    // also where a library makes the file.
    umask(077);
    for (int i = 1; i < argc; ++i) {
        if (std::string(argv[i]).rfind("--store-password", 0) == 0) return StorePassword(argc, argv);
        // Answered without a display, before any window system is opened.
        if (std::string(argv[i]) == "--version") {
            std::printf("zymradio %s\n", ZYM_VERSION);
            return 0;
        }
    }
    QuietWebEngine();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("zymradio"));
    QApplication::setWindowIcon(QIcon(Resources::find(QStringLiteral("images/zymradio"), QStringLiteral("png"))));
    QApplication::setQuitOnLastWindowClosed(false);

    QCommandLineParser options;
    options.addHelpOption();
    QCommandLineOption services(QStringLiteral("services"), QStringLiteral("The sign-on services URL."),
                                QStringLiteral("URL"));
    QCommandLineOption screenshot(QStringLiteral("screenshot"),
                                  QStringLiteral("Save the window as a PNG once a station plays."),
                                  QStringLiteral("PATH"));
    QCommandLineOption quitAfter(QStringLiteral("quit-after"),
                                 QStringLiteral("Quit this many seconds after the screenshot."),
                                 QStringLiteral("SECONDS"));
    options.addOptions({services, screenshot, quitAfter});
    options.process(app);

    UserDefaults& defaults = UserDefaults::standardUserDefaults();
    if (options.isSet(services)) defaults.setString(QStringLiteral("service_url"), options.value(services));

    // A start by the desktop's URL handler: a running copy takes the URL, and this one
    // ends before it makes any window or alert.
    const std::optional<QString> url = LaunchURL(options);
    bool refused = false;
    if (url && ZYMScriptingBus::forwardURL(QDBusConnection::sessionBus(), *url, &refused)) {
        if (refused) std::fprintf(stderr, "zymradio: the running copy refused %s\n", qPrintable(*url));
        return refused ? 1 : 0;
    }

    // The support services stand behind the shell's interfaces; `application` is set once
    // the controller exists, before any service asks for it.
    ProgramServices support;
    AppEnvironment environment;
    RadioAppController* application = nullptr;
    environment.setupStatistics = [] { ProgramServices::setupPhoneHome(); };
    support.wire(environment, application);
    RadioAppController controller(environment);
    application = &controller;
    if (url) controller.handleURL(*url);
    if (options.isSet(screenshot)) {
        // Everything below outlives this block: the lambdas hold copies.
        const QString path = options.value(screenshot);
        const int quitAfterMs = options.isSet(quitAfter) ? std::max(0, options.value(quitAfter).toInt()) * 1000 : -1;
        QObject::connect(&controller, &RadioAppController::windowCreated, &controller,
                         [application, path, quitAfterMs](RadioWindowController* window) {
                             auto taken = std::make_shared<bool>(false);
                             auto shoot = [application, window, path, quitAfterMs, taken] {
                                 // Once the stream plays and its track is in the display.
                                 if (*taken || !window->streamPlaying() || !window->currentTrackMetadata()) return;
                                 *taken = true;
                                 // Let the new lines be laid out before the picture.
                                 QTimer::singleShot(300, application, [application, window, path, quitAfterMs] {
                                     Guarded("screenshot", [&] {
                                         SaveScreenshot(*window, path);
                                         if (quitAfterMs >= 0)
                                             QTimer::singleShot(quitAfterMs, application,
                                                                [application] { application->quit(); });
                                     });
                                 });
                             };
                             QObject::connect(window, &RadioWindowController::trackStarted, application, shoot);
                             QObject::connect(window, &RadioWindowController::playingStateChanged, application, shoot);
                         });
    }
    if (!controller.start()) return 0;
    const int status = app.exec();
    support.applicationWillTerminate();
    return status;
}
