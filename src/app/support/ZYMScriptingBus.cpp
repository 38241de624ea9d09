#include "app/support/ZYMScriptingBus.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusReply>
#include <QDBusVirtualObject>
#include <QMetaProperty>

#include <memory>

QDBusArgument& operator<<(QDBusArgument& argument, const ZYMScriptStation& station) {
    argument.beginStructure();
    argument << station.identifier << station.name;
    argument.endStructure();
    return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, ZYMScriptStation& station) {
    argument.beginStructure();
    argument >> station.identifier >> station.name;
    argument.endStructure();
    return argument;
}

QDBusArgument& operator<<(QDBusArgument& argument, const ZYMScriptTrack& track) {
    argument.beginStructure();
    argument << track.name << track.artist << track.album;
    argument.endStructure();
    return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, ZYMScriptTrack& track) {
    argument.beginStructure();
    argument >> track.name >> track.artist >> track.album;
    argument.endStructure();
    return argument;
}

namespace {

// A (ss) structure inside a variant; anything else is no station.
std::optional<ZYMScriptStation> StationOf(const QDBusVariant& value) {
    const QVariant variant = value.variant();
    if (!variant.canConvert<QDBusArgument>()) return std::nullopt;
    const QDBusArgument argument = variant.value<QDBusArgument>();
    if (argument.currentSignature() != QLatin1String("(ss)")) return std::nullopt;
    ZYMScriptStation station;
    argument >> station;
    return station;
}

const QString kInterface = QStringLiteral("org.zym.Radio");
const QString kProperties = QStringLiteral("org.freedesktop.DBus.Properties");

const char* const kIntrospection = R"xml(<interface name="org.zym.Radio">
  <method name="GetURL"><arg name="url" type="s" direction="in"/></method>
  <method name="Play"><arg name="station" type="v" direction="in"/></method>
  <method name="PlayStationID"><arg name="identifier" type="v" direction="in"/></method>
  <method name="Stop"/>
  <method name="TogglePlay"/>
  <method name="PlayStream"><arg name="url" type="s" direction="in"/></method>
  <method name="SignIn"><arg name="userName" type="s" direction="in"/></method>
  <method name="SignOut"/>
  <property name="playingStation" type="(ss)" access="read"/>
  <property name="radioStations" type="a(ss)" access="read"/>
  <property name="radioGenres" type="a(ss)" access="read"/>
  <property name="soundVolume" type="i" access="readwrite"/>
  <property name="currentTrackPlayingTime" type="x" access="read"/>
  <property name="currentTrackTotalTime" type="x" access="read"/>
  <property name="currentTrack" type="(sss)" access="read"/>
  <property name="isPlaying" type="b" access="read"/>
  <property name="isAuthenticated" type="b" access="read"/>
  <property name="authenticatedUsername" type="s" access="read"/>
  <property name="presets" type="a(ss)" access="readwrite"/>
  <property name="albumArtUrl" type="s" access="read"/>
</interface>
<interface name="org.freedesktop.DBus.Properties">
  <method name="Get"><arg type="s" direction="in"/><arg type="s" direction="in"/><arg type="v" direction="out"/></method>
  <method name="GetAll"><arg type="s" direction="in"/><arg type="a{sv}" direction="out"/></method>
  <method name="Set"><arg type="s" direction="in"/><arg type="s" direction="in"/><arg type="v" direction="in"/></method>
</interface>
)xml";

class Exported : public QDBusVirtualObject {
public:
    explicit Exported(ZYMScriptingBus& bus) : bus_(bus) {}

    QString introspect(const QString&) const override { return QString::fromLatin1(kIntrospection); }

    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override {
        if (message.type() != QDBusMessage::MethodCallMessage) return false;
        QDBusMessage reply;
        if (message.interface() == kProperties)
            reply = Properties(message);
        else if (message.interface().isEmpty() || message.interface() == kInterface)
            reply = Method(message);
        else
            return false;
        connection.send(reply);
        return true;
    }

private:
    static QDBusMessage WrongArguments(const QDBusMessage& message) {
        return message.createErrorReply(QDBusError::InvalidArgs,
                                        QStringLiteral("wrong arguments for %1").arg(message.member()));
    }

    QDBusMessage Method(const QDBusMessage& message) {
        using Args = const QVariantList&;
        // `run` answers false when the command refused its argument.
        static const struct {
            QLatin1String name;
            QLatin1String signature;
            bool (*run)(ZYMScriptingBus&, Args);
        } kMethods[] = {
            {QLatin1String("Stop"), QLatin1String(""),
             [](ZYMScriptingBus& bus, Args) {
                 bus.Stop();
                 return true;
             }},
            {QLatin1String("TogglePlay"), QLatin1String(""),
             [](ZYMScriptingBus& bus, Args) {
                 bus.TogglePlay();
                 return true;
             }},
            {QLatin1String("SignOut"), QLatin1String(""),
             [](ZYMScriptingBus& bus, Args) {
                 bus.SignOut();
                 return true;
             }},
            {QLatin1String("GetURL"), QLatin1String("s"),
             [](ZYMScriptingBus& bus, Args args) { return bus.GetURL(args.value(0).toString()); }},
            {QLatin1String("PlayStream"), QLatin1String("s"),
             [](ZYMScriptingBus& bus, Args args) {
                 bus.PlayStream(args.value(0).toString());
                 return true;
             }},
            {QLatin1String("SignIn"), QLatin1String("s"),
             [](ZYMScriptingBus& bus, Args args) {
                 bus.SignIn(args.value(0).toString());
                 return true;
             }},
            {QLatin1String("Play"), QLatin1String("v"),
             [](ZYMScriptingBus& bus, Args args) {
                 bus.Play(args.value(0).value<QDBusVariant>());
                 return true;
             }},
            {QLatin1String("PlayStationID"), QLatin1String("v"),
             [](ZYMScriptingBus& bus, Args args) {
                 bus.PlayStationID(args.value(0).value<QDBusVariant>());
                 return true;
             }},
        };
        const QString member = message.member();
        for (const auto& method : kMethods) {
            if (member != method.name) continue;
            if (message.signature() != method.signature) return WrongArguments(message);
            if (!method.run(bus_, message.arguments()))
                return message.createErrorReply(
                    QDBusError::InvalidArgs,
                    QStringLiteral("%1 refused %2").arg(member, message.arguments().value(0).toString()));
            return message.createReply();
        }
        return message.createErrorReply(QDBusError::UnknownMethod, QStringLiteral("no method %1").arg(member));
    }

    QMetaProperty Property(const QString& name) const {
        const QMetaObject* meta = bus_.metaObject();
        const int index = meta->indexOfProperty(name.toLatin1().constData());
        return index < meta->propertyOffset() ? QMetaProperty() : meta->property(index);
    }

    QDBusMessage Properties(const QDBusMessage& message) {
        const QVariantList args = message.arguments();
        const QString signature = message.signature();
        const QString member = message.member();
        if (!args.isEmpty() && args[0].toString() != kInterface && !args[0].toString().isEmpty())
            return message.createErrorReply(QDBusError::UnknownInterface, args[0].toString());
        if (member == QLatin1String("GetAll") && signature == QLatin1String("s")) {
            QVariantMap all;
            const QMetaObject* meta = bus_.metaObject();
            for (int i = meta->propertyOffset(); i < meta->propertyCount(); ++i)
                all.insert(QString::fromLatin1(meta->property(i).name()), meta->property(i).read(&bus_));
            return message.createReply(QVariant::fromValue(all));
        }
        if (member != QLatin1String("Get") && member != QLatin1String("Set")) return WrongArguments(message);
        const QMetaProperty property = Property(args.value(1).toString());
        if (!property.isValid()) return message.createErrorReply(QDBusError::UnknownProperty, args.value(1).toString());
        if (member == QLatin1String("Get") && signature == QLatin1String("ss"))
            return message.createReply(QVariant::fromValue(QDBusVariant(property.read(&bus_))));
        if (signature != QLatin1String("ssv")) return WrongArguments(message);
        if (!property.isWritable())
            return message.createErrorReply(QDBusError::PropertyReadOnly, args.value(1).toString());
        const QVariant value = args.value(2).value<QDBusVariant>().variant();
        if (property.name() == QByteArrayView("soundVolume")) {
            if (value.metaType().id() != QMetaType::Int) return WrongArguments(message);
            bus_.setSoundVolume(value.toInt());
            return message.createReply();
        }
        if (!value.canConvert<QDBusArgument>()) return WrongArguments(message);
        const QDBusArgument argument = value.value<QDBusArgument>();
        if (argument.currentSignature() != QLatin1String("a(ss)")) return WrongArguments(message);
        QString reason;
        if (!bus_.writePresets(qdbus_cast<QList<ZYMScriptStation>>(argument), &reason))
            return message.createErrorReply(QDBusError::InvalidArgs, reason);
        return message.createReply();
    }

    ZYMScriptingBus& bus_;
};

}  // namespace

ZYMScriptingBus::ZYMScriptingBus(ZYMScriptingTarget& target, QObject* parent) : QObject(parent), target_(target) {
    registerTypes();
}

ZYMScriptingBus::~ZYMScriptingBus() {
    if (exported_) {
        bus_.unregisterObject(QLatin1String(kZYMScriptingPath));
        delete exported_;
    }
}

void ZYMScriptingBus::registerTypes() {
    qDBusRegisterMetaType<ZYMScriptStation>();
    qDBusRegisterMetaType<QList<ZYMScriptStation>>();
    qDBusRegisterMetaType<ZYMScriptTrack>();
}

bool ZYMScriptingBus::registerOn(QDBusConnection bus) {
    if (!bus.isConnected()) return false;
    if (exported_) return false;
    auto exported = std::make_unique<Exported>(*this);
    if (!bus.registerVirtualObject(QLatin1String(kZYMScriptingPath), exported.get())) return false;
    if (!bus.registerService(QLatin1String(kZYMScriptingService))) {
        bus.unregisterObject(QLatin1String(kZYMScriptingPath));
        return false;
    }
    exported_ = exported.release();
    bus_ = bus;
    return true;
}

bool ZYMScriptingBus::forwardURL(QDBusConnection bus, const QString& url, bool* refused) {
    if (refused) *refused = false;
    if (!bus.isConnected() || !bus.interface()) return false;
    const QDBusReply<bool> owned = bus.interface()->isServiceRegistered(QLatin1String(kZYMScriptingService));
    if (!owned.isValid() || !owned.value()) return false;
    QDBusMessage call =
        QDBusMessage::createMethodCall(QLatin1String(kZYMScriptingService), QLatin1String(kZYMScriptingPath),
                                       QLatin1String(kZYMScriptingService), QStringLiteral("GetURL"));
    call << url;
    const QDBusMessage answer = bus.call(call, QDBus::Block, 30000);
    if (answer.type() == QDBusMessage::ReplyMessage) return true;
    // The running copy heard it and said no: taken all the same, and told to the caller.
    if (answer.type() == QDBusMessage::ErrorMessage &&
        answer.errorName() == QDBusError::errorString(QDBusError::InvalidArgs)) {
        if (refused) *refused = true;
        return true;
    }
    return false;
}

bool ZYMScriptingBus::GetURL(const QString& url) { return ZYMScriptCommands::getURL(target_, url); }

void ZYMScriptingBus::Play(const QDBusVariant& station) {
    if (const auto s = StationOf(station))
        target_.playStation(*s);
    else
        target_.play();
}

void ZYMScriptingBus::PlayStationID(const QDBusVariant& identifier) {
    const QVariant value = identifier.variant();
    if (value.metaType().id() == QMetaType::QString)
        target_.playStationWithID(value.toString());
    else
        target_.play();
}

void ZYMScriptingBus::Stop() { target_.stopPlaying(); }
void ZYMScriptingBus::TogglePlay() { target_.togglePlaying(); }
void ZYMScriptingBus::PlayStream(const QString& url) { target_.playStationWithURL(url); }
void ZYMScriptingBus::SignIn(const QString& userName) { target_.signOnWithUserName(userName); }
void ZYMScriptingBus::SignOut() { target_.signOff(); }

ZYMScriptStation ZYMScriptingBus::playingStation() const {
    return target_.playingStation().value_or(ZYMScriptStation{});
}
QList<ZYMScriptStation> ZYMScriptingBus::radioStations() const { return target_.radioStations(); }
QList<ZYMScriptStation> ZYMScriptingBus::radioGenres() const { return target_.radioGenres(); }
int ZYMScriptingBus::soundVolume() const { return target_.soundVolume(); }
void ZYMScriptingBus::setSoundVolume(int volume) { target_.setSoundVolume(volume); }
qlonglong ZYMScriptingBus::currentTrackPlayingTime() const { return target_.currentTrackPlayingTime(); }
qlonglong ZYMScriptingBus::currentTrackTotalTime() const { return target_.currentTrackTotalTime(); }
ZYMScriptTrack ZYMScriptingBus::currentTrack() const { return target_.currentTrack().value_or(ZYMScriptTrack{}); }
bool ZYMScriptingBus::isPlaying() const { return target_.isPlaying(); }
bool ZYMScriptingBus::isAuthenticated() const { return target_.isAuthenticated(); }
QString ZYMScriptingBus::authenticatedUsername() const { return target_.authenticatedUsername().value_or(QString()); }
QString ZYMScriptingBus::albumArtUrl() const { return target_.albumArtUrl(); }

QList<ZYMScriptStation> ZYMScriptingBus::presets() const {
    QList<ZYMScriptStation> out;
    for (const auto& preset : target_.presetsArray())
        out.append(preset.value_or(ZYMScriptStation{}));
    return out;
}

void ZYMScriptingBus::setPresets(const QList<ZYMScriptStation>& presets) { writePresets(presets, nullptr); }

bool ZYMScriptingBus::writePresets(const QList<ZYMScriptStation>& presets, QString* reason) {
    if (presets.size() != target_.maxNumberOfPresets()) {
        if (reason) *reason = QLatin1String(kPresetArraySizeReason);
        return false;
    }
    QList<std::optional<ZYMScriptStation>> entries;
    for (const ZYMScriptStation& station : presets)
        entries.append(station.identifier.isEmpty() ? std::nullopt : std::optional<ZYMScriptStation>(station));
    if (const auto failure = target_.setPresetsArray(entries)) {
        if (reason) *reason = *failure;
        return false;
    }
    return true;
}
