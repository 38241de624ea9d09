#include "app/support/ZYMMprisBus.h"

#include "app/foundation/Localizer.h"
#include "app/foundation/ServiceLayerError.h"

#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QDBusVirtualObject>
#include <QFileInfo>
#include <QUrl>

#include <algorithm>
#include <cmath>
#include <memory>

namespace {

const QString kRoot = QLatin1String(kZYMMprisRoot);
const QString kPlayer = QLatin1String(kZYMMprisPlayer);
const QString kProperties = QStringLiteral("org.freedesktop.DBus.Properties");
const QString kNoTrack = QStringLiteral("/org/mpris/MediaPlayer2/TrackList/NoTrack");

const char* const kIntrospection = R"xml(<interface name="org.mpris.MediaPlayer2">
  <method name="Raise"/>
  <method name="Quit"/>
  <property name="CanQuit" type="b" access="read"/>
  <property name="CanRaise" type="b" access="read"/>
  <property name="HasTrackList" type="b" access="read"/>
  <property name="Identity" type="s" access="read"/>
  <property name="DesktopEntry" type="s" access="read"/>
  <property name="SupportedUriSchemes" type="as" access="read"/>
  <property name="SupportedMimeTypes" type="as" access="read"/>
</interface>
<interface name="org.mpris.MediaPlayer2.Player">
  <method name="Next"/>
  <method name="Previous"/>
  <method name="Pause"/>
  <method name="PlayPause"/>
  <method name="Stop"/>
  <method name="Play"/>
  <method name="Seek"><arg name="Offset" type="x" direction="in"/></method>
  <method name="SetPosition"><arg name="TrackId" type="o" direction="in"/><arg name="Position" type="x" direction="in"/></method>
  <method name="OpenUri"><arg name="Uri" type="s" direction="in"/></method>
  <signal name="Seeked"><arg name="Position" type="x"/></signal>
  <property name="PlaybackStatus" type="s" access="read"/>
  <property name="Rate" type="d" access="read"/>
  <property name="Metadata" type="a{sv}" access="read"/>
  <property name="Volume" type="d" access="readwrite"/>
  <property name="Position" type="x" access="read"/>
  <property name="MinimumRate" type="d" access="read"/>
  <property name="MaximumRate" type="d" access="read"/>
  <property name="CanGoNext" type="b" access="read"/>
  <property name="CanGoPrevious" type="b" access="read"/>
  <property name="CanPlay" type="b" access="read"/>
  <property name="CanPause" type="b" access="read"/>
  <property name="CanSeek" type="b" access="read"/>
  <property name="CanControl" type="b" access="read"/>
</interface>
<interface name="org.freedesktop.DBus.Properties">
  <method name="Get"><arg type="s" direction="in"/><arg type="s" direction="in"/><arg type="v" direction="out"/></method>
  <method name="GetAll"><arg type="s" direction="in"/><arg type="a{sv}" direction="out"/></method>
  <method name="Set"><arg type="s" direction="in"/><arg type="s" direction="in"/><arg type="v" direction="in"/></method>
  <signal name="PropertiesChanged"><arg type="s"/><arg type="a{sv}"/><arg type="as"/></signal>
</interface>
)xml";

class Exported : public QDBusVirtualObject {
public:
    explicit Exported(ZYMMprisBus& bus) : bus_(bus) {}

    QString introspect(const QString&) const override { return QString::fromLatin1(kIntrospection); }

    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override {
        if (message.type() != QDBusMessage::MethodCallMessage) return false;
        const QString interface = message.interface();
        if (interface != kProperties && interface != kRoot && interface != kPlayer && !interface.isEmpty())
            return false;
        // Nothing throws into the event loop: the caller hears of a failure instead.
        QDBusMessage reply = message.createErrorReply(QDBusError::Failed, message.member());
        Guarded("media-player call", [&] { reply = interface == kProperties ? Properties(message) : Method(message); });
        connection.send(reply);
        Guarded("media-player refresh", [this] { bus_.refresh(); });
        return true;
    }

private:
    static QDBusMessage WrongArguments(const QDBusMessage& message) {
        return message.createErrorReply(QDBusError::InvalidArgs,
                                        QStringLiteral("wrong arguments for %1").arg(message.member()));
    }

    QDBusMessage Method(const QDBusMessage& message) {
        using Run = void (ZYMMprisBus::*)();
        static const struct {
            QLatin1String interface;
            QLatin1String name;
            Run run;
        } kPlain[] = {
            {QLatin1String(kZYMMprisRoot), QLatin1String("Raise"), &ZYMMprisBus::raise},
            {QLatin1String(kZYMMprisRoot), QLatin1String("Quit"), &ZYMMprisBus::quit},
            {QLatin1String(kZYMMprisPlayer), QLatin1String("Next"), &ZYMMprisBus::next},
            {QLatin1String(kZYMMprisPlayer), QLatin1String("Previous"), &ZYMMprisBus::previous},
            {QLatin1String(kZYMMprisPlayer), QLatin1String("Pause"), &ZYMMprisBus::pause},
            {QLatin1String(kZYMMprisPlayer), QLatin1String("PlayPause"), &ZYMMprisBus::playPause},
            {QLatin1String(kZYMMprisPlayer), QLatin1String("Stop"), &ZYMMprisBus::stop},
            {QLatin1String(kZYMMprisPlayer), QLatin1String("Play"), &ZYMMprisBus::play},
        };
        const QString interface = message.interface();
        const QString member = message.member();
        const QString signature = message.signature();
        const auto matches = [&](QLatin1String owner) { return interface.isEmpty() || interface == owner; };
        for (const auto& method : kPlain) {
            if (member != method.name || !matches(method.interface)) continue;
            if (!signature.isEmpty()) return WrongArguments(message);
            (bus_.*method.run)();
            return message.createReply();
        }
        if (matches(QLatin1String(kZYMMprisPlayer))) {
            if (member == QLatin1String("OpenUri")) {
                if (signature != QLatin1String("s")) return WrongArguments(message);
                const QString uri = message.arguments().value(0).toString();
                if (!bus_.openUri(uri))
                    return message.createErrorReply(QDBusError::InvalidArgs,
                                                    QStringLiteral("OpenUri refused %1").arg(uri));
                return message.createReply();
            }
            // A live stream has no position to move to.
            if (member == QLatin1String("Seek") || member == QLatin1String("SetPosition"))
                return message.createErrorReply(QDBusError::NotSupported,
                                                QStringLiteral("%1: a live stream cannot seek").arg(member));
        }
        return message.createErrorReply(QDBusError::UnknownMethod, QStringLiteral("no method %1").arg(member));
    }

    QDBusMessage Properties(const QDBusMessage& message) {
        const QVariantList args = message.arguments();
        const QString signature = message.signature();
        const QString member = message.member();
        const QString interface = args.value(0).toString();
        const bool wellFormed = (member == QLatin1String("GetAll") && signature == QLatin1String("s")) ||
                                (member == QLatin1String("Get") && signature == QLatin1String("ss")) ||
                                (member == QLatin1String("Set") && signature == QLatin1String("ssv"));
        if (!wellFormed) return WrongArguments(message);
        if (interface != kRoot && interface != kPlayer)
            return message.createErrorReply(QDBusError::UnknownInterface, interface);
        const QVariantMap all = interface == kRoot ? bus_.rootProperties() : bus_.playerProperties();
        if (member == QLatin1String("GetAll")) return message.createReply(QVariant::fromValue(all));
        const QString name = args.value(1).toString();
        if (!all.contains(name)) return message.createErrorReply(QDBusError::UnknownProperty, name);
        if (member == QLatin1String("Get")) return message.createReply(QVariant::fromValue(QDBusVariant(all[name])));
        if (interface != kPlayer || name != QLatin1String("Volume"))
            return message.createErrorReply(QDBusError::PropertyReadOnly, name);
        const QVariant value = args.value(2).value<QDBusVariant>().variant();
        if (value.metaType().id() != QMetaType::Double || !bus_.setVolume(value.toDouble()))
            return WrongArguments(message);
        return message.createReply();
    }

    ZYMMprisBus& bus_;
};

}  // namespace

ZYMMprisBus::ZYMMprisBus(ZYMScriptingTarget& target, Shell shell, QObject* parent)
    : QObject(parent), target_(target), shell_(std::move(shell)) {
    poll_.setInterval(1000);
    connect(&poll_, &QTimer::timeout, this, [this] { Guarded("media-player refresh", [this] { refresh(); }); });
}

ZYMMprisBus::~ZYMMprisBus() {
    if (exported_) {
        bus_.unregisterService(QLatin1String(kZYMMprisService));
        bus_.unregisterObject(QLatin1String(kZYMMprisPath));
        delete exported_;
    }
}

bool ZYMMprisBus::registerOn(QDBusConnection bus) {
    if (!bus.isConnected() || exported_) return false;
    auto exported = std::make_unique<Exported>(*this);
    if (!bus.registerVirtualObject(QLatin1String(kZYMMprisPath), exported.get())) return false;
    if (!bus.registerService(QLatin1String(kZYMMprisService))) {
        bus.unregisterObject(QLatin1String(kZYMMprisPath));
        return false;
    }
    exported_ = exported.release();
    bus_ = bus;
    announced_ = playerProperties();
    refresh();
    return true;
}

void ZYMMprisBus::refresh() {
    if (!exported_) return;
    QVariantMap current = playerProperties();
    // Listeners ask for the position when they want it; it is never announced.
    current.remove(QStringLiteral("Position"));
    QVariantMap changed;
    for (auto it = current.constBegin(); it != current.constEnd(); ++it)
        if (announced_.value(it.key()) != it.value()) changed.insert(it.key(), it.value());
    announced_ = current;
    pollWhileAwaited(current.value(QStringLiteral("Metadata")).toMap());
    if (changed.isEmpty()) return;
    QDBusMessage signal =
        QDBusMessage::createSignal(QLatin1String(kZYMMprisPath), kProperties, QStringLiteral("PropertiesChanged"));
    signal << kPlayer << QVariant::fromValue(changed) << QStringList();
    bus_.send(signal);
}

// A song's length and art come after the song itself, and nothing announces them: they are
// looked for once a second while they are missing, for a while after the song began. A
// station without songs, or a song that has both, leaves no timer running.
void ZYMMprisBus::pollWhileAwaited(const QVariantMap& metadata) {
    const std::optional<ZYMScriptTrack> track = target_.currentTrack();
    const bool song = !metadata.isEmpty() && track && !track->name.isEmpty();
    const bool missing =
        !metadata.contains(QStringLiteral("mpris:length")) || !metadata.contains(QStringLiteral("mpris:artUrl"));
    const bool awaited = song && missing && trackStarted_.isValid() && trackStarted_.elapsed() < kAwaitMs;
    if (awaited && !poll_.isActive())
        poll_.start();
    else if (!awaited)
        poll_.stop();
}

QVariantMap ZYMMprisBus::rootProperties() const {
    return {
        {QStringLiteral("CanQuit"), true},
        {QStringLiteral("CanRaise"), true},
        {QStringLiteral("HasTrackList"), false},
        {QStringLiteral("Identity"), Localizer::shared().text(QStringLiteral("MediaPlayerIdentity"))},
        {QStringLiteral("DesktopEntry"), QStringLiteral("zymradio")},
        {QStringLiteral("SupportedUriSchemes"), QStringList{QStringLiteral("zymradio"), QStringLiteral("qint")}},
        {QStringLiteral("SupportedMimeTypes"), QStringList()},
    };
}

QVariantMap ZYMMprisBus::playerProperties() const {
    const PresetSteps steps = presetSteps();
    const bool playing = target_.isPlaying();
    return {
        {QStringLiteral("PlaybackStatus"), playing ? QStringLiteral("Playing") : QStringLiteral("Stopped")},
        {QStringLiteral("Rate"), 1.0},
        {QStringLiteral("MinimumRate"), 1.0},
        {QStringLiteral("MaximumRate"), 1.0},
        {QStringLiteral("Metadata"), metadata()},
        {QStringLiteral("Volume"), target_.soundVolume() / 100.0},
        {QStringLiteral("Position"), qlonglong(playing ? target_.currentTrackPlayingTime() * 1000 : 0)},
        {QStringLiteral("CanGoNext"), steps.next.has_value()},
        {QStringLiteral("CanGoPrevious"), steps.previous.has_value()},
        {QStringLiteral("CanPlay"), true},
        {QStringLiteral("CanPause"), true},
        {QStringLiteral("CanSeek"), false},
        {QStringLiteral("CanControl"), true},
    };
}

QVariantMap ZYMMprisBus::metadata() const {
    const std::optional<ZYMScriptStation> station = target_.playingStation();
    if (!target_.isPlaying() || !station) return {};
    const std::optional<ZYMScriptTrack> track = target_.currentTrack();
    QVariantMap out;
    // Between songs (or on a stream without them) the station is what plays.
    const bool song = track && !track->name.isEmpty();
    out.insert(QStringLiteral("xesam:title"), song ? track->name : station->name);
    if (song && !track->artist.isEmpty()) out.insert(QStringLiteral("xesam:artist"), QStringList{track->artist});
    if (song && !track->album.isEmpty()) out.insert(QStringLiteral("xesam:album"), track->album);
    if (song) {
        const qint64 total = target_.currentTrackTotalTime();
        if (total > 0) out.insert(QStringLiteral("mpris:length"), qlonglong(total) * 1000);
        const QString art = shell_.albumArtFile ? shell_.albumArtFile() : QString();
        if (!art.isEmpty() && QFileInfo(art).isFile())
            out.insert(QStringLiteral("mpris:artUrl"), QUrl::fromLocalFile(art).toString(QUrl::FullyEncoded));
    }
    const QString identity = QStringList{station->identifier, station->name, song ? track->name : QString(),
                                         song ? track->artist : QString(), song ? track->album : QString()}
                                 .join(QChar(0));
    out.insert(QStringLiteral("mpris:trackid"), QVariant::fromValue(QDBusObjectPath(trackId(identity))));
    return out;
}

QString ZYMMprisBus::trackId(const QString& identity) const {
    if (identity != trackIdentity_ || trackNumber_ == 0) {
        trackIdentity_ = identity;
        ++trackNumber_;
        trackStarted_.start();
    }
    return QStringLiteral("/org/zym/Radio/track/%1").arg(trackNumber_);
}

ZYMMprisBus::PresetSteps ZYMMprisBus::presetSteps() const {
    const QList<std::optional<ZYMScriptStation>> presets = target_.presetsArray();
    const std::optional<ZYMScriptStation> playing = target_.playingStation();
    qsizetype current = -1;
    if (playing && !playing->identifier.isEmpty())
        for (qsizetype i = 0; i < presets.size() && current < 0; ++i)
            if (presets[i] && presets[i]->identifier == playing->identifier) current = i;
    PresetSteps steps;
    for (qsizetype i = 0; i < presets.size(); ++i) {
        if (!presets[i] || presets[i]->identifier.isEmpty()) continue;
        if (current < 0 || i < current) steps.previous = presets[i];
        if (!steps.next && (current < 0 || i > current)) steps.next = presets[i];
    }
    return steps;
}

void ZYMMprisBus::play() {
    if (!target_.isPlaying()) target_.play();
}

// A live stream cannot hold its place: pausing stops it.
void ZYMMprisBus::pause() {
    if (target_.isPlaying()) target_.stopPlaying();
}

void ZYMMprisBus::playPause() { target_.togglePlaying(); }
void ZYMMprisBus::stop() { target_.stopPlaying(); }

void ZYMMprisBus::next() {
    if (const auto station = presetSteps().next) target_.playStation(*station);
}

void ZYMMprisBus::previous() {
    if (const auto station = presetSteps().previous) target_.playStation(*station);
}

bool ZYMMprisBus::openUri(const QString& uri) { return ZYMScriptCommands::getURL(target_, uri); }

bool ZYMMprisBus::setVolume(double volume) {
    if (!std::isfinite(volume)) return false;
    // Below zero is silence; the model clamps to the slider's range.
    target_.setSoundVolume(int(std::lround(std::clamp(volume, 0.0, 10.0) * 100.0)));
    return true;
}

void ZYMMprisBus::raise() {
    if (shell_.raise) shell_.raise();
}

void ZYMMprisBus::quit() {
    // After the reply has gone out: the quit may end the process at once.
    if (shell_.quit)
        QMetaObject::invokeMethod(
            this, [this] { Guarded("media-player quit", [this] { shell_.quit(); }); }, Qt::QueuedConnection);
}
