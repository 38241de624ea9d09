// zymradio-cli --services URL COMMAND: drives the services layer from a shell the way the
// window does (sign-on, the directory load, and the window's own play session with its
// fall-back over a station's formats and URLs) and prints every delegate call and every
// report of the play, one line each. The credentials come from the environment only and are
// never printed. Exit: 0 done, 1 failure, 2 usage, 128 + the signal's number when
// interrupted (130 for Ctrl-C) before the command was done.
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QSocketNotifier>
#include <QTemporaryDir>
#include <QTimer>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include "app/radio/PlaySession.h"
#include "app/signon/AuthenticationController.h"
#include "app/signon/DialogPresenter.h"
#include "app/foundation/ErrorDescription.h"
#include "app/signon/PasswordStore.h"
#include "app/foundation/UserDefaults.h"
#include "app/services/ZYMCacheStorage.h"
#include "app/radio/ZYMRadioService.h"
#include "app/radio/ZYMRadioStationState.h"
#include "app/services/ZYMServicesProvider.h"
#include "dms/radio3/DMRadio3Service.h"
#include "runtime/LogMessage.h"

namespace {

constexpr const char* kKeychain = "ZYM Radio";
constexpr int kNoLimit = 999999999;

int g_signalPipe[2] = {-1, -1};
// A failure alert was shown: it gave the reason, and the sign-on panel that follows it
// says nothing of its own.
bool g_alerted = false;

void OnSignal(int signal) {
    const char c = static_cast<char>(signal);
    [[maybe_unused]] ssize_t n = write(g_signalPipe[1], &c, 1);
}

void Say(const QString& line) {
    std::printf("%s\n", line.toUtf8().constData());
    std::fflush(stdout);
}

void Finish(int code) {
    // Later, so that the callback that decided it returns first.
    QTimer::singleShot(0, [code] { QCoreApplication::exit(code); });
}

int Usage() {
    std::fprintf(stderr,
                 "usage: zymradio-cli --services URL genres|stations|play STATION_ID|play --preset N\n"
                 "  ZYM_USER and ZYM_PASSWORD sign on; ZYM_PASSCODE answers a passcode request.\n");
    return 2;
}

// The sign-on panels without widgets: a panel shown means the stored credentials were not
// enough (there is nobody to type), except the passcode panel, answered from the
// environment.
class ShellPanels : public AuthPanelsView {
public:
    void attach(CredentialsModel* model, AuthPanelsActions* actions) override {
        model_ = model;
        actions_ = actions;
    }
    void showPanel(Panel panel, QWidget*) override {
        if (panel == Panel::SignOn) {
            if (!g_alerted) Say(QStringLiteral("sign-on: the credentials were not accepted"));
            Finish(1);
            return;
        }
        const QByteArray passcode = qgetenv("ZYM_PASSCODE");
        if (passcode.isEmpty() || !model_ || !actions_) {
            Say(QStringLiteral("sign-on: a passcode is asked for; set ZYM_PASSCODE"));
            Finish(1);
            return;
        }
        Say(QStringLiteral("sign-on: passcode asked for, answered from ZYM_PASSCODE"));
        securIDVisible_ = true;
        model_->setSecurID(QString::fromUtf8(passcode));
        QTimer::singleShot(0, [this] {
            if (securIDVisible_ && actions_) actions_->securIDOK();
        });
    }
    void hidePanel(Panel panel) override {
        if (panel == Panel::SecurID) securIDVisible_ = false;
    }
    bool isPanelVisible(Panel panel) const override { return panel == Panel::SecurID && securIDVisible_; }
    void focusField(Field) override {}

private:
    CredentialsModel* model_ = nullptr;
    AuthPanelsActions* actions_ = nullptr;
    bool securIDVisible_ = false;
};

// A failure alert ends the run with its text.
class ShellAlerts : public DialogPresenter {
public:
    void present(const DialogRequest& request, QWidget*, Completion completion) override {
        QStringList parts;
        for (const QString& part : {request.messageText, request.informativeText})
            if (!part.isEmpty()) parts.append(part);
        const QString text = parts.isEmpty() ? request.title : parts.join(QLatin1Char(' '));
        Say(QStringLiteral("alert ") + text);
        g_alerted = true;
        Finish(1);
        QTimer::singleShot(0, [completion] { completion(0); });
    }
};

class Cli : public RadioServiceDelegate {
public:
    Cli(ZYMRadioService& radio, UserDefaults& defaults, QString command, QString argument)
        : radio_(radio), defaults_(defaults), command_(std::move(command)), argument_(std::move(argument)) {}

    // --- the generic service's messages ---
    void serviceDidBecomeValid(ZYMGenericService&) override { Say(QStringLiteral("serviceDidBecomeValid")); }
    void serviceWillBecomeInvalid(ZYMGenericService&) override { Say(QStringLiteral("serviceWillBecomeInvalid")); }
    void serviceDidBecomeInvalidWithReason(ZYMGenericService&, const QString& reason) override {
        Say(QStringLiteral("serviceDidBecomeInvalidWithReason ") + reason);
    }
    Delegated authenticationStartedForUsername(const QString&) override {
        Say(QStringLiteral("authenticationStartedForUsername"));
        return Delegated::Handled;
    }
    void authenticationDone(bool ok) override { Say(QStringLiteral("authenticationDone ") + Yes(ok)); }
    void authenticationCancelled() override {
        Say(QStringLiteral("authenticationCancelled"));
        Finish(1);
    }
    void serviceRequestDone(bool ok) override {
        Say(QStringLiteral("serviceRequestDone ") + Yes(ok));
        if (!ok) Finish(1);
    }
    void serviceEncounteredError(const ZYMServiceErrorDescription& error) override {
        Say(QStringLiteral("serviceEncounteredError ") + error.sifMethodName() + QLatin1Char(' ') +
            error.sifStatusCode());
    }

    // --- the radio service's messages ---
    Delegated radioServiceInformationWillLoad() override { return Note("radioServiceInformationWillLoad"); }
    Delegated radioServiceServerInformationWillLoad() override { return Note("radioServiceServerInformationWillLoad"); }
    Delegated radioServiceInformationDidLoad() override {
        Note("radioServiceInformationDidLoad");
        if (!started_) {
            started_ = true;
            run();
        }
        return Delegated::Handled;
    }
    Delegated radioServiceServerInformationDidFail() override {
        Note("radioServiceServerInformationDidFail");
        Finish(1);
        return Delegated::Handled;
    }
    Delegated radioServiceCachedInformationDidLoad() override { return Note("radioServiceCachedInformationDidLoad"); }
    Delegated radioServiceFilteredInformationDidChange() override {
        return Note("radioServiceFilteredInformationDidChange");
    }
    Delegated radioServiceStationsWillLoad() override { return Note("radioServiceStationsWillLoad"); }
    Delegated radioServiceStationsDidLoad() override { return Note("radioServiceStationsDidLoad"); }
    Delegated radioServiceStationDetailsWillLoad(const std::optional<QString>& id) override {
        return Note("radioServiceStationDetailsWillLoad", id.value_or(QStringLiteral("(all)")));
    }
    Delegated radioServiceStationDetailsDidLoad(const std::optional<QString>& id) override {
        return Note("radioServiceStationDetailsDidLoad", id.value_or(QStringLiteral("(all)")));
    }
    Delegated radioServiceStationStateWillLoad(const QString& id) override {
        return Note("radioServiceStationStateWillLoad", id);
    }
    Delegated radioServiceStationStateDidLoad(const std::shared_ptr<ZYMRadioStationState>& state) override {
        return Note("radioServiceStationStateDidLoad", state->stationID().value_or(QString()));
    }
    Delegated radioServiceGenresWillLoad() override { return Note("radioServiceGenresWillLoad"); }
    Delegated radioServiceGenresDidLoad() override { return Note("radioServiceGenresDidLoad"); }
    Delegated radioServiceMediaFormatsWillLoad() override { return Note("radioServiceMediaFormatsWillLoad"); }
    Delegated radioServiceMediaFormatsDidLoad() override { return Note("radioServiceMediaFormatsDidLoad"); }
    Delegated radioServiceMaxPresetsWillLoad() override { return Note("radioServiceMaxPresetsWillLoad"); }
    Delegated radioServiceMaxPresetsDidLoad() override { return Note("radioServiceMaxPresetsDidLoad"); }
    Delegated radioServicePresetsWillLoad() override { return Note("radioServicePresetsWillLoad"); }
    Delegated radioServicePresetsDidLoad() override { return Note("radioServicePresetsDidLoad"); }
    Delegated radioServicePresetsWillStore() override { return Note("radioServicePresetsWillStore"); }
    Delegated radioServicePresetsDidStore() override { return Note("radioServicePresetsDidStore"); }
    Delegated radioServicePresetsOutOfDate() override { return Note("radioServicePresetsOutOfDate"); }
    // The URL answers go to the play session, which asks for the next format's in turn.
    Delegated radioServiceStationURLWillLoad(const QString& id) override {
        Note("radioServiceStationURLWillLoad", id);
        if (session_) session_->stationURLWillLoad();
        return Delegated::Handled;
    }
    Delegated radioServiceStationURLDidLoad(const QString& progId, const QStringList& urls) override {
        Note("radioServiceStationURLDidLoad", progId + QLatin1Char(' ') + urls.join(QLatin1Char(' ')));
        if (session_) session_->stationURLDidLoad(progId, urls);
        return Delegated::Handled;
    }
    Delegated radioServiceStationURLDidFail(const QString& progId) override {
        Note("radioServiceStationURLDidFail", progId);
        if (session_) session_->stationURLDidFail(progId);
        return Delegated::Handled;
    }

    void stop() {
        if (session_) session_->stop();
    }

private:
    static QString Yes(bool b) { return b ? QStringLiteral("YES") : QStringLiteral("NO"); }
    Delegated Note(const char* name, const QString& argument = QString()) {
        Say(argument.isNull() ? QString::fromLatin1(name) : QString::fromLatin1(name) + QLatin1Char(' ') + argument);
        return Delegated::Handled;
    }

    void run() {
        if (command_ == QLatin1String("genres") || command_ == QLatin1String("stations")) {
            if (command_ == QLatin1String("genres") && radio_.genres())
                for (const auto& genre : *radio_.genres())
                    Say(QStringLiteral("genre %1 %2").arg(genre->genreID(), genre->name()));
            if (command_ == QLatin1String("stations") && radio_.stations())
                for (const auto& station : *radio_.stations())
                    Say(QStringLiteral("station %1 %2").arg(station->stationID(), station->name()));
            Finish(0);
            return;
        }
        QString stationID = argument_;
        if (command_ == QLatin1String("preset")) {
            const int slot = argument_.toInt();
            const auto station = slot >= 1 ? radio_.stationForPreset(slot) : nullptr;
            if (!station) {
                Say(QStringLiteral("error: preset %1 holds no station of the directory").arg(argument_));
                Finish(1);
                return;
            }
            stationID = station->stationID();
        }
        const auto station = radio_.stationWithID(stationID);
        if (!station) {
            Say(QStringLiteral("error: station %1 is not in the directory").arg(stationID));
            Finish(1);
            return;
        }
        const auto formats = radio_.stationFormats(station->stationID(), kNoLimit);
        if (formats.empty()) {
            Say(QStringLiteral("error: station %1 has no usable format").arg(stationID));
            Finish(1);
            return;
        }
        for (const auto& format : formats)
            Say(QStringLiteral("format %1 %2").arg(format->formatID(), format->progID()));
        play(station);
    }

    // The window's play session: format by format, URL by URL, until one plays.
    void play(const std::shared_ptr<ZYMRadioStation>& station) {
        PlaySessionEnvironment env;
        env.defaults = &defaults_;
        env.playerAgent = QStringLiteral("zymradio-cli");
        env.bandwidthLimit = [] { return kNoLimit; };
        session_ = std::make_unique<PlaySession>(radio_, std::move(env));
        if (!session_->player()) {
            Say(QStringLiteral("error: no player"));
            Finish(1);
            return;
        }
        // Unscaled samples: what is heard (or written) is what the station sent.
        session_->player()->setVolume(1.0f);
        PlaySession& s = *session_;
        QObject::connect(&s, &PlaySession::playAttempted,
                         [](const QString& url) { Say(QStringLiteral("play ") + url); });
        QObject::connect(&s, &PlaySession::streamConnecting,
                         [](const QString& url) { Say(QStringLiteral("connecting ") + url); });
        QObject::connect(&s, &PlaySession::streamBuffering,
                         [](const QString& url) { Say(QStringLiteral("bufferingStarted ") + url); });
        QObject::connect(&s, &PlaySession::streamStarted,
                         [](const QString& url) { Say(QStringLiteral("playingStarted ") + url); });
        QObject::connect(&s, &PlaySession::streamStopped, [this](const QString& url, bool played) {
            Say(QStringLiteral("playingStopped ") + url);
            playedToTheEnd_ = played;
        });
        QObject::connect(&s, &PlaySession::streamFailed, [](const QString& domain, int code, const QString& url) {
            Say(QStringLiteral("playingError ") + url + QLatin1Char(' ') +
                ErrorDescription(domain, code).localizedDescription());
        });
        QObject::connect(&s, &PlaySession::metadataReceived, [](const QByteArray& text, const QString&) {
            Say(QStringLiteral("receivedMetaData ") + QString::fromUtf8(text).simplified());
        });
        QObject::connect(&s, &PlaySession::trackProgress, [](float position, float total) {
            Say(QStringLiteral("trackProgressAt %1 of %2 s").arg(position).arg(total));
        });
        QObject::connect(&s, &PlaySession::playGivenUp, [](const QString& name) {
            Say(QStringLiteral("error: no format or URL of %1 played").arg(name));
        });
        // The play is over when the session has no station left: done when its stream
        // played to its end, failed otherwise.
        QObject::connect(&s, &PlaySession::playingStateChanged, [this] {
            if (!session_->isPlaying()) Finish(playedToTheEnd_ ? 0 : 1);
        });
        session_->startPlaying(station, true);
    }

    ZYMRadioService& radio_;
    UserDefaults& defaults_;
    QString command_, argument_;
    std::unique_ptr<PlaySession> session_;
    bool started_ = false;
    bool playedToTheEnd_ = false;
};

}  // namespace

int main(int argc, char** argv) {
    // The log names the account: its user's alone, as everything the program writes.
    umask(077);
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    if (args.size() < 3 || args[0] != QLatin1String("--services")) return Usage();
    const QString url = args[1];
    QString command = args[2];
    QString argument;
    if (command == QLatin1String("play")) {
        if (args.size() == 4 && !args[3].startsWith(QLatin1String("--"))) {
            argument = args[3];
        } else if (args.size() == 5 && args[3] == QLatin1String("--preset")) {
            command = QStringLiteral("preset");
            argument = args[4];
        } else {
            return Usage();
        }
    } else if ((command != QLatin1String("genres") && command != QLatin1String("stations")) || args.size() != 3) {
        return Usage();
    }
    const QString user = qEnvironmentVariable("ZYM_USER");
    const QString password = qEnvironmentVariable("ZYM_PASSWORD");
    if (user.isEmpty() || password.isEmpty()) {
        std::fprintf(stderr, "zymradio-cli: set ZYM_USER and ZYM_PASSWORD\n");
        return 2;
    }

    const std::string logPath = DefaultLogFilePath();
    QDir().mkpath(QFileInfo(QString::fromStdString(logPath)).absolutePath());
    InitLogFile(logPath.c_str(), kLogDebug, 1 << 20);

    if (socketpair(AF_UNIX, SOCK_STREAM, 0, g_signalPipe) != 0) return 1;
    std::signal(SIGINT, OnSignal);
    std::signal(SIGTERM, OnSignal);
    QSocketNotifier interrupt(g_signalPipe[0], QSocketNotifier::Read);

    DMRadio3RegisterService();
    // A run of its own: nothing of the window's settings, keyring or cache is touched.
    QTemporaryDir folder;
    UserDefaults defaults(folder.filePath(QStringLiteral("defaults.ini")));
    MemoryPasswordStore passwords;
    KeychainUtils::savePasswordToKeychain(passwords, password, user, QString::fromLatin1(kKeychain));
    ShellPanels panels;
    ShellAlerts alerts;
    ZYMCacheStorageFactory cache(folder.filePath(QStringLiteral("cache")));

    int code = 1;
    {
        ZYMServicesProvider provider(&defaults);
        provider.setServiceURL(url);
        provider.setDeviceName("zymradio-cli", "ZYM", "1.0");
        AuthenticationEnvironment auth;
        auth.passwords = &passwords;
        auth.defaults = &defaults;
        auth.presenter = &alerts;
        AuthenticationController controller(QString::fromLatin1(kKeychain), panels, auth);
        ZYMServiceEnvironment env;
        env.provider = &provider;
        env.defaults = &defaults;
        env.cacheFactory = &cache;
        ZYMRadioService radio(env);
        Cli cli(radio, defaults, command, argument);
        radio.setDelegate(&cli);
        radio.setAuthenticationController(&controller);
        QObject::connect(&interrupt, &QSocketNotifier::activated, [&cli] {
            char signal = SIGINT;
            [[maybe_unused]] ssize_t n = read(g_signalPipe[0], &signal, 1);
            cli.stop();
            // An interrupted command was not done, whatever it had reached.
            QCoreApplication::exit(128 + signal);
        });
        radio.requestServiceWithUsername(user, nullptr);
        code = app.exec();
        cli.stop();
        radio.setDelegate(nullptr);
        // Deliver the stopped stream's end event before the player goes.
        QCoreApplication::processEvents();
    }
    InitLogFile(nullptr, kLogError, 0);
    return code;
}
