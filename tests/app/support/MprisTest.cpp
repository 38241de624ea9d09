#include "app/support/ZYMMprisBus.h"

#include "PrivateBus.h"
#include "SupportTestSupport.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCall>
#include <QDBusPendingReply>
#include <QDBusVariant>
#include <QFile>
#include <QObject>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using supporttest::PrivateBus;
using supporttest::RunUntil;

namespace {

// A window as the scripting model shows it, with state the test sets.
class FakeWindow : public ZYMScriptingTarget {
public:
    QStringList calls;
    std::optional<ZYMScriptStation> playing;
    std::optional<ZYMScriptTrack> track;
    qint64 totalMs = 0;
    int volume = 50;
    QList<std::optional<ZYMScriptStation>> presets;
    QList<ZYMScriptStation> known;

    void playStation(const ZYMScriptStation& s) override {
        calls << "playStation " + s.identifier;
        playing = s;
    }
    void play() override { calls << "play"; }
    void playStationWithID(const QString& id) override { calls << "playStationWithID " + id; }
    void playStationWithName(const QString& name) override { calls << "playStationWithName " + name; }
    void playStationWithURL(const QString& url) override { calls << "playStationWithURL " + url; }
    void stopPlaying() override {
        calls << "stopPlaying";
        playing.reset();
    }
    void togglePlaying() override { calls << "togglePlaying"; }
    void signOff() override {}
    void signOnWithUserName(const QString&) override {}
    std::optional<ZYMScriptStation> stationWithID(const QString& id) const override {
        for (const auto& s : known)
            if (s.identifier == id) return s;
        return std::nullopt;
    }
    std::optional<ZYMScriptStation> stationWithName(const QString&) const override { return std::nullopt; }
    void forceSignOnAndPlayStationID(const std::optional<QString>&, const std::optional<QString>&) override {}
    std::optional<ZYMScriptStation> playingStation() const override { return playing; }
    QList<ZYMScriptStation> radioStations() const override { return known; }
    QList<ZYMScriptStation> radioGenres() const override { return {}; }
    int soundVolume() const override { return volume; }
    void setSoundVolume(int v) override {
        calls << QStringLiteral("setSoundVolume %1").arg(v);
        volume = std::clamp(v, 0, 100);
    }
    qint64 currentTrackPlayingTime() const override { return 1500; }
    qint64 currentTrackTotalTime() const override { return totalMs; }
    std::optional<ZYMScriptTrack> currentTrack() const override { return track; }
    bool isPlaying() const override { return playing.has_value(); }
    bool isAuthenticated() const override { return true; }
    std::optional<QString> authenticatedUsername() const override { return std::nullopt; }
    QList<std::optional<ZYMScriptStation>> presetsArray() const override { return presets; }
    int maxNumberOfPresets() const override { return int(presets.size()); }
    std::optional<QString> setPresetsArray(const QList<std::optional<ZYMScriptStation>>&) override {
        return std::nullopt;
    }
    QString albumArtUrl() const override { return QString(); }
};

// Collects the PropertiesChanged signals of the player.
class ChangeListener : public QObject {
    Q_OBJECT
public:
    QList<QVariantMap> changes;
public slots:
    void changed(const QString& interface, const QVariantMap& properties, const QStringList&) {
        if (interface == QLatin1String(kZYMMprisPlayer)) changes.append(properties);
    }
};

QVariantMap MapOf(const QVariant& value) {
    if (value.canConvert<QDBusArgument>()) return qdbus_cast<QVariantMap>(value.value<QDBusArgument>());
    return value.toMap();
}

class MprisBusTest : public ::testing::Test {
protected:
    void SetUp() override {
        REQUIRE_PRIVATE_BUS(bus_);
        ASSERT_TRUE(art_.isValid());
        ASSERT_TRUE(service_.registerOn(bus_.Connect()));
        client_ = bus_.Connect();
    }

    QDBusMessage Call(const QString& interface, const QString& member, const QVariantList& args = {}) {
        QDBusMessage call = QDBusMessage::createMethodCall(kZYMMprisService, kZYMMprisPath, interface, member);
        call.setArguments(args);
        QDBusPendingCall pending = client_.asyncCall(call);
        EXPECT_TRUE(RunUntil([&] { return pending.isFinished(); })) << member.toStdString();
        return pending.reply();
    }

    QVariant Get(const QString& interface, const QString& name) {
        const QDBusMessage reply = Call("org.freedesktop.DBus.Properties", "Get", {interface, name});
        EXPECT_EQ(reply.type(), QDBusMessage::ReplyMessage) << name.toStdString() << reply.errorMessage().toStdString();
        return reply.arguments().value(0).value<QDBusVariant>().variant();
    }

    QVariantMap Metadata() { return MapOf(Get(kZYMMprisPlayer, "Metadata")); }

    QDBusMessage SetVolume(const QVariant& value) {
        return Call("org.freedesktop.DBus.Properties", "Set",
                    {QString(kZYMMprisPlayer), QStringLiteral("Volume"), QVariant::fromValue(QDBusVariant(value))});
    }

    PrivateBus bus_;
    QDBusConnection client_{QString()};
    QTemporaryDir art_;
    QString artFile_;
    int raised_ = 0;
    int quits_ = 0;
    FakeWindow window_;
    ZYMMprisBus service_{window_,
                         ZYMMprisBus::Shell{[this] { ++raised_; }, [this] { ++quits_; }, [this] { return artFile_; }}};
};

TEST_F(MprisBusTest, RootInterfaceNamesTheProgram) {
    EXPECT_EQ(Get(kZYMMprisRoot, "Identity").toString(), "ZYM Radio");
    EXPECT_EQ(Get(kZYMMprisRoot, "DesktopEntry").toString(), "zymradio");
    EXPECT_EQ(Get(kZYMMprisRoot, "SupportedUriSchemes").toStringList(), (QStringList{"zymradio", "qint"}));
    EXPECT_EQ(Get(kZYMMprisRoot, "SupportedMimeTypes").toStringList(), QStringList());
    EXPECT_TRUE(Get(kZYMMprisRoot, "CanQuit").toBool());
    EXPECT_TRUE(Get(kZYMMprisRoot, "CanRaise").toBool());
    EXPECT_FALSE(Get(kZYMMprisRoot, "HasTrackList").toBool());
    EXPECT_FALSE(Get(kZYMMprisPlayer, "CanSeek").toBool());
    EXPECT_TRUE(Get(kZYMMprisPlayer, "CanControl").toBool());

    EXPECT_EQ(Call(kZYMMprisRoot, "Raise").type(), QDBusMessage::ReplyMessage);
    EXPECT_EQ(raised_, 1);
    // The quit comes after the answer, so the caller is not left without one.
    EXPECT_EQ(Call(kZYMMprisRoot, "Quit").type(), QDBusMessage::ReplyMessage);
    EXPECT_TRUE(RunUntil([&] { return quits_ == 1; }));
}

TEST_F(MprisBusTest, MetadataFollowsWhatPlays) {
    // Nothing plays: no track at all.
    EXPECT_EQ(Get(kZYMMprisPlayer, "PlaybackStatus").toString(), "Stopped");
    EXPECT_TRUE(Metadata().isEmpty());

    // A station without a song yet shows as its own name.
    window_.playing = ZYMScriptStation{"12", "Jazz"};
    QVariantMap meta = Metadata();
    EXPECT_EQ(Get(kZYMMprisPlayer, "PlaybackStatus").toString(), "Playing");
    EXPECT_EQ(meta.value("xesam:title").toString(), "Jazz");
    EXPECT_FALSE(meta.contains("xesam:artist"));
    const QString stationTrack = meta.value("mpris:trackid").value<QDBusObjectPath>().path();
    EXPECT_TRUE(stationTrack.startsWith("/org/zym/Radio/track/")) << stationTrack.toStdString();

    // A song: its fields, its length in microseconds, and its art once the store has it.
    window_.track = ZYMScriptTrack{"So What", "Miles Davis", "Kind of Blue"};
    window_.totalMs = 545000;
    artFile_ = art_.filePath("Miles Davis (Kind of Blue).tiff");
    meta = Metadata();
    EXPECT_EQ(meta.value("xesam:title").toString(), "So What");
    EXPECT_EQ(meta.value("xesam:artist").toStringList(), QStringList{"Miles Davis"});
    EXPECT_EQ(meta.value("xesam:album").toString(), "Kind of Blue");
    EXPECT_EQ(meta.value("mpris:length").toLongLong(), 545000000LL);
    EXPECT_FALSE(meta.contains("mpris:artUrl")) << "no file in the store yet";
    const QString songTrack = meta.value("mpris:trackid").value<QDBusObjectPath>().path();
    EXPECT_NE(songTrack, stationTrack);
    {
        QFile file(artFile_);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }
    meta = Metadata();
    EXPECT_EQ(meta.value("mpris:artUrl").toString(), QUrl::fromLocalFile(artFile_).toString(QUrl::FullyEncoded));
    EXPECT_TRUE(meta.value("mpris:artUrl").toString().contains("Miles%20Davis%20(Kind%20of%20Blue).tiff"));
    EXPECT_EQ(meta.value("mpris:trackid").value<QDBusObjectPath>().path(), songTrack) << "same song, same id";

    // A length the stream does not give is left out.
    window_.totalMs = 0;
    EXPECT_FALSE(Metadata().contains("mpris:length"));
}

TEST_F(MprisBusTest, ControlsActOnTheWindow) {
    window_.known = {{"123", "Jazz"}};
    struct Row {
        bool playing;
        const char* method;
        QVariantList args;
        QStringList calls;
        bool ok = true;
    };
    const std::vector<Row> rows = {
        {false, "Play", {}, {"play"}},
        {true, "Play", {}, {}},
        // A live stream cannot hold its place: pause stops, as the window's button does.
        {true, "Pause", {}, {"stopPlaying"}},
        {false, "Pause", {}, {}},
        {true, "PlayPause", {}, {"togglePlaying"}},
        {false, "PlayPause", {}, {"togglePlaying"}},
        {true, "Stop", {}, {"stopPlaying"}},
        {false, "OpenUri", {QStringLiteral("zymradio:playstation?id=123")}, {"playStationWithID 123"}},
        {false, "OpenUri", {QStringLiteral("qint://s.example/a?b=1")}, {"playStationWithURL qint://s.example/a?b=1"}},
        // The same rules as GetURL: other schemes are refused.
        {false, "OpenUri", {QStringLiteral("https://example.com/")}, {}, false},
        {false, "OpenUri", {QStringLiteral("file:///etc/passwd")}, {}, false},
        {true, "Seek", {qlonglong(1000000)}, {}, false},
        {true,
         "SetPosition",
         {QVariant::fromValue(QDBusObjectPath("/org/zym/Radio/track/1")), qlonglong(0)},
         {},
         false},
        {true, "Stop", {QStringLiteral("extra")}, {}, false},
    };
    for (const Row& row : rows) {
        window_.calls.clear();
        window_.playing = row.playing ? std::optional(ZYMScriptStation{"9", "Nine"}) : std::nullopt;
        const QDBusMessage reply = Call(kZYMMprisPlayer, row.method, row.args);
        EXPECT_EQ(reply.type() == QDBusMessage::ReplyMessage, row.ok)
            << row.method << reply.errorMessage().toStdString();
        EXPECT_EQ(window_.calls, row.calls) << row.method << " " << row.args.value(0).toString().toStdString();
    }
    EXPECT_EQ(Call(kZYMMprisPlayer, "Seek", {qlonglong(1)}).errorName(), "org.freedesktop.DBus.Error.NotSupported");
}

TEST_F(MprisBusTest, NextAndPreviousStepThroughThePresets) {
    window_.presets = {std::nullopt, ZYMScriptStation{"1", "One"}, std::nullopt, ZYMScriptStation{"3", "Three"},
                       ZYMScriptStation{"4", "Four"}};
    struct Row {
        std::optional<QString> playing;  // station id
        bool canPrevious;
        bool canNext;
        QString previous;  // the station Previous plays, empty for none
        QString next;
    };
    const std::vector<Row> rows = {
        {QStringLiteral("3"), true, true, "1", "4"},
        {QStringLiteral("1"), false, true, "", "3"},
        {QStringLiteral("4"), true, false, "3", ""},
        // A station on no preset, or none: the first and the last.
        {QStringLiteral("77"), true, true, "4", "1"},
        {std::nullopt, true, true, "4", "1"},
    };
    for (const Row& row : rows) {
        const auto playing = [&] {
            return row.playing ? std::optional(ZYMScriptStation{*row.playing, "x"}) : std::nullopt;
        };
        const std::string at = row.playing.value_or("none").toStdString();
        window_.playing = playing();
        EXPECT_EQ(Get(kZYMMprisPlayer, "CanGoPrevious").toBool(), row.canPrevious) << at;
        EXPECT_EQ(Get(kZYMMprisPlayer, "CanGoNext").toBool(), row.canNext) << at;
        for (const auto& [method, expected] : {std::pair{"Previous", row.previous}, std::pair{"Next", row.next}}) {
            window_.calls.clear();
            window_.playing = playing();
            EXPECT_EQ(Call(kZYMMprisPlayer, method).type(), QDBusMessage::ReplyMessage);
            EXPECT_EQ(window_.calls, expected.isEmpty() ? QStringList() : QStringList{"playStation " + expected})
                << method << " from " << at;
        }
    }
    window_.presets.clear();
    window_.playing.reset();
    EXPECT_FALSE(Get(kZYMMprisPlayer, "CanGoNext").toBool());
    EXPECT_FALSE(Get(kZYMMprisPlayer, "CanGoPrevious").toBool());
}

TEST_F(MprisBusTest, VolumeIsTheSlider) {
    EXPECT_DOUBLE_EQ(Get(kZYMMprisPlayer, "Volume").toDouble(), 0.5);
    struct Row {
        double value;
        int expected;
    };
    for (const Row& row : std::vector<Row>{{0.3, 30}, {0.29, 29}, {1.7, 100}, {-0.5, 0}}) {
        const QDBusMessage reply = SetVolume(row.value);
        EXPECT_EQ(reply.type(), QDBusMessage::ReplyMessage) << row.value << reply.errorMessage().toStdString();
        EXPECT_EQ(window_.volume, row.expected) << row.value;
    }
    window_.calls.clear();
    for (const QVariant& bad :
         {QVariant(QStringLiteral("loud")), QVariant(std::numeric_limits<double>::quiet_NaN()), QVariant(int(1))})
        EXPECT_EQ(SetVolume(bad).errorName(), "org.freedesktop.DBus.Error.InvalidArgs");
    EXPECT_TRUE(window_.calls.isEmpty());
    const QDBusMessage readOnly = Call("org.freedesktop.DBus.Properties", "Set",
                                       {QString(kZYMMprisPlayer), QStringLiteral("PlaybackStatus"),
                                        QVariant::fromValue(QDBusVariant(QStringLiteral("Playing")))});
    EXPECT_EQ(readOnly.errorName(), "org.freedesktop.DBus.Error.PropertyReadOnly");
}

TEST_F(MprisBusTest, EveryChangeIsAnnounced) {
    ChangeListener listener;
    ASSERT_TRUE(client_.connect(kZYMMprisService, kZYMMprisPath, "org.freedesktop.DBus.Properties", "PropertiesChanged",
                                &listener, SLOT(changed(QString, QVariantMap, QStringList))));
    window_.playing = ZYMScriptStation{"12", "Jazz"};
    window_.track = ZYMScriptTrack{"Song", "Artist", "Album"};
    service_.refresh();
    ASSERT_TRUE(RunUntil([&] { return !listener.changes.isEmpty(); }));
    QVariantMap changed = listener.changes.takeFirst();
    EXPECT_EQ(changed.value("PlaybackStatus").toString(), "Playing");
    EXPECT_EQ(MapOf(changed.value("Metadata")).value("xesam:title").toString(), "Song");
    EXPECT_FALSE(changed.contains("Volume")) << "only what changed";
    EXPECT_FALSE(changed.contains("Position")) << "the position is never announced";

    // A change made through the bus is announced without any other prompt.
    EXPECT_EQ(SetVolume(0.8).type(), QDBusMessage::ReplyMessage);
    ASSERT_TRUE(RunUntil([&] { return !listener.changes.isEmpty(); }));
    changed = listener.changes.takeFirst();
    EXPECT_DOUBLE_EQ(changed.value("Volume").toDouble(), 0.8);
    EXPECT_EQ(changed.size(), 1);

    // Nothing changed: nothing is sent (a later change arrives alone).
    service_.refresh();
    window_.playing.reset();
    service_.refresh();
    ASSERT_TRUE(RunUntil([&] { return !listener.changes.isEmpty(); }));
    changed = listener.changes.takeFirst();
    EXPECT_EQ(changed.value("PlaybackStatus").toString(), "Stopped");
    EXPECT_TRUE(MapOf(changed.value("Metadata")).isEmpty());

    // Album art comes with no notice of its own: while a song plays it is still announced.
    window_.playing = ZYMScriptStation{"12", "Jazz"};
    service_.refresh();
    ASSERT_TRUE(RunUntil([&] { return !listener.changes.isEmpty(); }));
    listener.changes.clear();
    artFile_ = art_.filePath("cover.tiff");
    QFile cover(artFile_);
    ASSERT_TRUE(cover.open(QIODevice::WriteOnly));
    cover.write("II*");
    cover.close();
    ASSERT_TRUE(RunUntil([&] { return !listener.changes.isEmpty(); }));
    EXPECT_TRUE(MapOf(listener.changes.takeFirst().value("Metadata")).contains("mpris:artUrl"));
}

TEST_F(MprisBusTest, LengthAndArtAreLookedForOnlyWhileASongLacksThem) {
    ChangeListener listener;
    ASSERT_TRUE(client_.connect(kZYMMprisService, kZYMMprisPath, "org.freedesktop.DBus.Properties", "PropertiesChanged",
                                &listener, SLOT(changed(QString, QVariantMap, QStringList))));
    // Nothing plays, or a station without songs: nothing can change unannounced.
    EXPECT_FALSE(service_.polling());
    window_.playing = ZYMScriptStation{"12", "Jazz"};
    service_.refresh();
    EXPECT_FALSE(service_.polling());

    // A song whose art is not in the store yet: looked for until it lands, and announced
    // without any other prompt; then the look stops.
    window_.track = ZYMScriptTrack{"So What", "Miles Davis", "Kind of Blue"};
    window_.totalMs = 545000;
    artFile_ = art_.filePath("Miles Davis (Kind of Blue).tiff");
    service_.refresh();
    EXPECT_TRUE(service_.polling());
    {
        QFile file(artFile_);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }
    const auto announcedArt = [&] {
        for (const QVariantMap& c : listener.changes)
            if (MapOf(c.value("Metadata")).contains("mpris:artUrl")) return true;
        return false;
    };
    ASSERT_TRUE(RunUntil(announcedArt));
    EXPECT_FALSE(service_.polling()) << "the song has its length and art";

    // A new song without a length: looked for again; stopping ends the look.
    window_.track = ZYMScriptTrack{"Blue in Green", "Miles Davis", "Kind of Blue"};
    window_.totalMs = 0;
    service_.refresh();
    EXPECT_TRUE(service_.polling());
    window_.playing.reset();
    service_.refresh();
    EXPECT_FALSE(service_.polling());
}

}  // namespace

#include "MprisTest.moc"
