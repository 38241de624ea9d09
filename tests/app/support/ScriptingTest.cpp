#include "app/support/ZYMScriptCommands.h"
#include "app/support/ZYMScriptingBus.h"

#include "PrivateBus.h"
#include "SupportTestSupport.h"

#include <QCoreApplication>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QDesktopServices>
#include <QProcess>
#include <QStringList>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

using supporttest::PrivateBus;
using supporttest::RunUntil;

namespace {

// Records every call; knows the stations it is given.
class RecordingTarget : public ZYMScriptingTarget {
public:
    QStringList calls;
    QList<ZYMScriptStation> known;
    bool authenticated = true;
    int volume = 50;
    int maxPresets = 3;
    QList<std::optional<ZYMScriptStation>> storedPresets{std::nullopt, ZYMScriptStation{"7", "Seven"}, std::nullopt};

    void playStation(const ZYMScriptStation& s) override { calls << "playStation " + s.identifier + "/" + s.name; }
    void play() override { calls << "play"; }
    void playStationWithID(const QString& id) override { calls << "playStationWithID " + id; }
    void playStationWithName(const QString& name) override { calls << "playStationWithName " + name; }
    void playStationWithURL(const QString& url) override { calls << "playStationWithURL " + url; }
    void stopPlaying() override { calls << "stopPlaying"; }
    void togglePlaying() override { calls << "togglePlaying"; }
    void signOff() override { calls << "signOff"; }
    void signOnWithUserName(const QString& user) override { calls << "signOnWithUserName " + user; }
    std::optional<ZYMScriptStation> stationWithID(const QString& id) const override {
        for (const auto& s : known)
            if (s.identifier == id) return s;
        return std::nullopt;
    }
    std::optional<ZYMScriptStation> stationWithName(const QString& name) const override {
        for (const auto& s : known)
            if (s.name.compare(name, Qt::CaseInsensitive) == 0) return s;
        return std::nullopt;
    }
    void forceSignOnAndPlayStationID(const std::optional<QString>& id, const std::optional<QString>& name) override {
        calls << "forceSignOn " + id.value_or("(none)") + "|" + name.value_or("(none)");
    }
    std::optional<ZYMScriptStation> playingStation() const override { return ZYMScriptStation{"12", "Jazz"}; }
    QList<ZYMScriptStation> radioStations() const override { return known; }
    QList<ZYMScriptStation> radioGenres() const override { return {{"g1", "Rock"}}; }
    int soundVolume() const override { return volume; }
    void setSoundVolume(int v) override { volume = std::clamp(v, 0, 100); }
    qint64 currentTrackPlayingTime() const override { return 61500; }
    qint64 currentTrackTotalTime() const override { return 240000; }
    std::optional<ZYMScriptTrack> currentTrack() const override { return ZYMScriptTrack{"Song", "Artist", "Album"}; }
    bool isPlaying() const override { return true; }
    bool isAuthenticated() const override { return authenticated; }
    std::optional<QString> authenticatedUsername() const override { return QStringLiteral("listener"); }
    QList<std::optional<ZYMScriptStation>> presetsArray() const override { return storedPresets; }
    int maxNumberOfPresets() const override { return maxPresets; }
    std::optional<QString> setPresetsArray(const QList<std::optional<ZYMScriptStation>>& presets) override {
        if (storeFailure) return storeFailure;
        for (int i = 0; i < presets.size(); ++i)
            if (presets[i]) storedPresets[i] = presets[i];
        return std::nullopt;
    }
    std::optional<QString> storeFailure;
    QString albumArtUrl() const override { return QStringLiteral("http://art.example/1.jpg"); }
};

struct UrlCase {
    const char* url;
    bool signedOn;
    std::vector<ZYMScriptStation> known;
    QStringList expected;
};

TEST(ScriptCommandsTest, UrlsReachTheRightCommand) {
    const ZYMScriptStation s123{"123", "Big Band"};
    const ZYMScriptStation jazz{"9", "Jazz"};
    const ZYMScriptStation smooth{"10", "Smooth Jazz"};
    const std::vector<UrlCase> cases = {
        {"zymradio:playstation?StationID=123&name=Jazz", true, {s123, jazz}, {"playStationWithID 123"}},
        {"zymradio:playstation?StationID=123&name=Jazz", true, {jazz}, {"playStationWithName Jazz"}},
        {"zymradio:playstation?StationID=123&name=Jazz", false, {}, {"forceSignOn 123|Jazz"}},
        {"zymradio:playstation?StationID=123&name=Jazz", true, {}, {}},
        {"zymradio:playstation?name=Smooth%20Jazz", true, {smooth}, {"playStationWithName Smooth Jazz"}},
        {"zymradio:playstation?name=Smooth%20Jazz", false, {}, {"forceSignOn (none)|Smooth Jazz"}},
        // The order of the keys decides, not their order in the URL.
        {"zymradio:playstation?number=9&id=123", true, {s123, jazz}, {"playStationWithID 123"}},
        {"zymradio:playstation?id=1&id=123", true, {s123}, {"playStationWithID 123"}},
        {"zymradio:playstation?stationnumber=9&NAME=x", true, {jazz}, {"playStationWithID 9"}},
        {"zymradio://playstation?id=123", false, {s123}, {}},
        {"zymradio:PlayStation?id=123", false, {s123}, {}},
        {"zymradio:playstation?", false, {}, {}},
        {"zymradio:playstation?id", false, {}, {"forceSignOn (none)|(none)"}},
        {"zymradio:playstation?id=1=2", true, {}, {}},
        {"zymradio:playstation?a=b=c", false, {}, {"forceSignOn (none)|(none)"}},
        {"ZYMRADIO:playstation?id=123", true, {s123}, {"playStationWithID 123"}},
        {"qint://stream.example:8000/live?sid=4&x=y",
         true,
         {},
         {"playStationWithURL qint://stream.example:8000/live?sid=4&x=y"}},
        {"file:///etc/passwd", true, {}, {}},
        {"", true, {}, {}},
        {"no scheme at all", true, {}, {}},
    };
    for (const UrlCase& c : cases) {
        RecordingTarget target;
        target.authenticated = c.signedOn;
        target.known = QList<ZYMScriptStation>(c.known.begin(), c.known.end());
        ZYMScriptCommands::getURL(target, QString::fromUtf8(c.url));
        EXPECT_EQ(target.calls, c.expected) << c.url << " signed on " << c.signedOn;
    }
}

// Catches what is handed to the desktop's opener.
class DesktopOpener : public QObject {
    Q_OBJECT
public:
    static QStringList Schemes() { return {"http", "https", "mailto", "file", "ftp", "sftp", "tel", "javascript"}; }
    DesktopOpener() {
        for (const QString& scheme : Schemes())
            QDesktopServices::setUrlHandler(scheme, this, "open");
    }
    ~DesktopOpener() override {
        for (const QString& scheme : Schemes())
            QDesktopServices::unsetUrlHandler(scheme);
    }
    QStringList opened;

public slots:
    void open(const QUrl& url) { opened << url.toString(); }
};

TEST(ScriptCommandsTest, WebAndMailUrlsGoToTheDesktopOthersAreRefused) {
    struct Case {
        const char* url;
        bool handed;
    };
    for (const Case& c :
         {Case{"http://www.example.com/a?b=c", true}, Case{"https://www.example.com/", true},
          Case{"HTTPS://www.example.com/x", true}, Case{"mailto:listener@example.com", true},
          Case{"file:///etc/passwd", false}, Case{"ftp://example.com/f", false}, Case{"sftp://example.com/f", false},
          Case{"tel:+15551234", false}, Case{"javascript:alert(1)", false}}) {
        DesktopOpener opener;
        RecordingTarget target;
        EXPECT_EQ(ZYMScriptCommands::getURL(target, QString::fromUtf8(c.url)), c.handed) << c.url;
        EXPECT_EQ(opener.opened.size(), c.handed ? 1 : 0) << c.url;
        if (c.handed && !opener.opened.isEmpty())
            EXPECT_EQ(opener.opened.first().toLower(), QString::fromUtf8(c.url).toLower());
        EXPECT_TRUE(target.calls.isEmpty()) << c.url;
    }
}

TEST(ScriptCommandsTest, LaunchUrl) {
    struct Row {
        QStringList arguments;
        std::optional<QString> url;
    };
    const std::vector<Row> rows = {
        {{"zymradio"}, std::nullopt},
        {{}, std::nullopt},
        {{"zymradio", "zymradio:playstation?name=Jazz"}, "zymradio:playstation?name=Jazz"},
        {{"zymradio", "--verbose", "qint://s.example/x"}, "qint://s.example/x"},
        {{"zymradio", "--verbose"}, std::nullopt},
    };
    for (const Row& row : rows)
        EXPECT_EQ(ZYMScriptCommands::launchURL(row.arguments), row.url) << row.arguments.join(' ').toStdString();
}

// dbus-send against the object on a private bus; the service runs on this thread's loop.
class ScriptingBusTest : public ::testing::Test {
protected:
    void SetUp() override {
        REQUIRE_PRIVATE_BUS(bus_);
        connection_ = bus_.Connect();
        ASSERT_TRUE(service_.registerOn(connection_));
    }

    struct Sent {
        int exitCode = -1;
        QString out;
        QString err;
    };

    Sent Send(const QStringList& args) {
        QProcess send;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("DBUS_SESSION_BUS_ADDRESS", bus_.Address());
        send.setProcessEnvironment(env);
        send.start("dbus-send",
                   QStringList{"--session", "--print-reply", "--dest=org.zym.Radio", "/org/zym/Radio"} + args);
        const bool done = RunUntil([&] { return send.state() == QProcess::NotRunning; });
        EXPECT_TRUE(done) << args.join(' ').toStdString();
        return {send.exitCode(), QString::fromUtf8(send.readAllStandardOutput()),
                QString::fromUtf8(send.readAllStandardError())};
    }

    PrivateBus bus_;
    QDBusConnection connection_{QString()};
    RecordingTarget target_;
    ZYMScriptingBus service_{target_};
};

TEST_F(ScriptingBusTest, MethodsReachTheController) {
    target_.known = {{"123", "Jazz"}};
    struct Row {
        QStringList args;
        QString call;
    };
    const std::vector<Row> rows = {
        {{"org.zym.Radio.GetURL", "string:zymradio:playstation?id=123"}, "playStationWithID 123"},
        {{"org.zym.Radio.Play", "variant:string:Jazz"}, "play"},
        {{"org.zym.Radio.PlayStationID", "variant:string:123"}, "playStationWithID 123"},
        {{"org.zym.Radio.PlayStationID", "variant:int32:123"}, "play"},
        {{"org.zym.Radio.Stop"}, "stopPlaying"},
        {{"org.zym.Radio.TogglePlay"}, "togglePlaying"},
        {{"org.zym.Radio.PlayStream", "string:qint://s.example/x?y=1"}, "playStationWithURL qint://s.example/x?y=1"},
        {{"org.zym.Radio.SignIn", "string:listener"}, "signOnWithUserName listener"},
        {{"org.zym.Radio.SignOut"}, "signOff"},
    };
    for (const Row& row : rows) {
        target_.calls.clear();
        const Sent sent = Send(row.args);
        EXPECT_EQ(sent.exitCode, 0) << sent.err.toStdString();
        EXPECT_EQ(target_.calls, QStringList{row.call}) << row.args.join(' ').toStdString();
    }
}

TEST_F(ScriptingBusTest, WrongCallsAreRefused) {
    const std::vector<QStringList> rows = {
        {"org.zym.Radio.GetURL", "int32:1"},
        // URLs the program refuses are answered with an error, not a success.
        {"org.zym.Radio.GetURL", "string:file:///etc/passwd"},
        {"org.zym.Radio.GetURL", "string:no scheme at all"},
        {"org.zym.Radio.GetURL", "string:zymradio:rewind?id=1"},
        {"org.zym.Radio.Play"},
        {"org.zym.Radio.Stop", "string:x"},
        {"org.zym.Radio.Rewind"},
        {"org.freedesktop.DBus.Properties.Get", "string:org.zym.Radio", "string:volume"},
        {"org.freedesktop.DBus.Properties.Set", "string:org.zym.Radio", "string:soundVolume", "variant:string:loud"},
        {"org.freedesktop.DBus.Properties.Set", "string:org.zym.Radio", "string:presets", "variant:int32:3"},
    };
    for (const QStringList& row : rows) {
        target_.calls.clear();
        const Sent sent = Send(row);
        EXPECT_NE(sent.exitCode, 0) << row.join(' ').toStdString();
        EXPECT_TRUE(target_.calls.isEmpty()) << row.join(' ').toStdString();
    }
    EXPECT_EQ(target_.volume, 50);
    // Introspection and GetAll describe the same interface.
    const Sent introspection = Send({"org.freedesktop.DBus.Introspectable.Introspect"});
    EXPECT_TRUE(introspection.out.contains("<property name=\"presets\" type=\"a(ss)\" access=\"readwrite\"/>"))
        << introspection.out.toStdString();
    const Sent all = Send({"org.freedesktop.DBus.Properties.GetAll", "string:org.zym.Radio"});
    EXPECT_EQ(all.exitCode, 0);
    for (const char* key : {"playingStation", "radioStations", "radioGenres", "soundVolume", "currentTrackPlayingTime",
                            "currentTrackTotalTime", "currentTrack", "isPlaying", "isAuthenticated",
                            "authenticatedUsername", "presets", "albumArtUrl"})
        EXPECT_TRUE(all.out.contains(QStringLiteral("\"%1\"").arg(key))) << key;
}

TEST_F(ScriptingBusTest, PlayWithAStationStructurePlaysThatStation) {
    // dbus-send cannot write a structure: a call of our own.
    QDBusMessage call = QDBusMessage::createMethodCall("org.zym.Radio", "/org/zym/Radio", "org.zym.Radio", "Play");
    call << QVariant::fromValue(QDBusVariant(QVariant::fromValue(ZYMScriptStation{"55", "Blues"})));
    QDBusConnection client = bus_.Connect();
    QDBusPendingCall pending = client.asyncCall(call);
    ASSERT_TRUE(RunUntil([&] { return pending.isFinished(); }));
    EXPECT_FALSE(pending.isError()) << pending.error().message().toStdString();
    EXPECT_EQ(target_.calls, QStringList{"playStation 55/Blues"});
}

TEST_F(ScriptingBusTest, PropertiesReadTheModel) {
    target_.known = {{"1", "One"}, {"2", "Two"}};
    struct Row {
        const char* key;
        QStringList expectedParts;
    };
    const std::vector<Row> rows = {
        {"playingStation", {"string \"12\"", "string \"Jazz\""}},
        {"radioStations", {"string \"1\"", "string \"One\"", "string \"2\"", "string \"Two\""}},
        {"radioGenres", {"string \"g1\"", "string \"Rock\""}},
        {"soundVolume", {"int32 50"}},
        {"currentTrackPlayingTime", {"int64 61500"}},
        {"currentTrackTotalTime", {"int64 240000"}},
        {"currentTrack", {"string \"Song\"", "string \"Artist\"", "string \"Album\""}},
        {"isPlaying", {"boolean true"}},
        {"isAuthenticated", {"boolean true"}},
        {"authenticatedUsername", {"string \"listener\""}},
        {"presets", {"string \"\"", "string \"7\"", "string \"Seven\""}},
        {"albumArtUrl", {"string \"http://art.example/1.jpg\""}},
    };
    for (const Row& row : rows) {
        const Sent sent = Send(
            {"org.freedesktop.DBus.Properties.Get", "string:org.zym.Radio", QStringLiteral("string:%1").arg(row.key)});
        EXPECT_EQ(sent.exitCode, 0) << row.key << sent.err.toStdString();
        for (const QString& part : row.expectedParts)
            EXPECT_TRUE(sent.out.contains(part)) << row.key << ": " << sent.out.toStdString();
    }
}

TEST_F(ScriptingBusTest, WritableVolume) {
    struct Row {
        const char* value;
        int expected;
    };
    for (const Row& row : std::vector<Row>{{"int32:30", 30}, {"int32:150", 100}, {"int32:-4", 0}}) {
        const Sent sent = Send({"org.freedesktop.DBus.Properties.Set", "string:org.zym.Radio", "string:soundVolume",
                                QStringLiteral("variant:%1").arg(row.value)});
        EXPECT_EQ(sent.exitCode, 0) << sent.err.toStdString();
        EXPECT_EQ(target_.volume, row.expected) << row.value;
    }
    const Sent readOnly = Send(
        {"org.freedesktop.DBus.Properties.Set", "string:org.zym.Radio", "string:isPlaying", "variant:boolean:false"});
    EXPECT_NE(readOnly.exitCode, 0);
}

TEST_F(ScriptingBusTest, PresetsWrite) {
    QDBusConnection client = bus_.Connect();
    auto set = [&](const QList<ZYMScriptStation>& presets) {
        QDBusMessage call =
            QDBusMessage::createMethodCall("org.zym.Radio", "/org/zym/Radio", "org.freedesktop.DBus.Properties", "Set");
        call << QStringLiteral("org.zym.Radio") << QStringLiteral("presets")
             << QVariant::fromValue(QDBusVariant(QVariant::fromValue(presets)));
        QDBusPendingCall pending = client.asyncCall(call);
        EXPECT_TRUE(RunUntil([&] { return pending.isFinished(); }));
        return pending.error();
    };
    // Empty entries keep their slots.
    EXPECT_FALSE(set({{"", ""}, {"", ""}, {"31", "Thirty-one"}}).isValid());
    EXPECT_EQ(target_.storedPresets,
              (QList<std::optional<ZYMScriptStation>>{std::nullopt, ZYMScriptStation{"7", "Seven"},
                                                      ZYMScriptStation{"31", "Thirty-one"}}));
    // One entry too many stores nothing.
    const QDBusError tooMany = set({{"1", "a"}, {"2", "b"}, {"3", "c"}, {"4", "d"}});
    EXPECT_EQ(tooMany.type(), QDBusError::InvalidArgs);
    EXPECT_EQ(tooMany.message(), QString::fromLatin1(kPresetArraySizeReason));
    EXPECT_EQ(target_.storedPresets[0], std::nullopt);
    // A store the model could not complete fails with the model's reason.
    target_.storeFailure = QStringLiteral("Preset 2 could not be stored");
    const QDBusError partial = set({{"1", "a"}, {"2", "b"}, {"3", "c"}});
    EXPECT_EQ(partial.type(), QDBusError::InvalidArgs);
    EXPECT_EQ(partial.message(), QStringLiteral("Preset 2 could not be stored"));
}

TEST_F(ScriptingBusTest, ASecondStartHandsItsUrlOver) {
    QDBusConnection other = bus_.Connect();
    target_.known = {{"123", "Jazz"}};
    std::atomic<bool> forwarded = false;
    // The call blocks its thread; the service answers on this one.
    std::thread second([&] { forwarded = ZYMScriptingBus::forwardURL(other, "zymradio:playstation?id=123"); });
    ASSERT_TRUE(RunUntil([&] { return !target_.calls.isEmpty(); }));
    second.join();
    EXPECT_TRUE(forwarded);
    EXPECT_EQ(target_.calls, QStringList{"playStationWithID 123"});
    // A URL the running copy refuses is heard, and the second start learns it was refused.
    target_.calls.clear();
    std::atomic<bool> refused = false;
    std::atomic<bool> done = false;
    std::thread third([&] {
        bool no = false;
        forwarded = ZYMScriptingBus::forwardURL(other, "ftp://www.example.com/", &no);
        refused = no;
        done = true;
    });
    ASSERT_TRUE(RunUntil([&] { return done.load(); }));
    third.join();
    EXPECT_TRUE(forwarded);
    EXPECT_TRUE(refused);
    EXPECT_TRUE(target_.calls.isEmpty());
    // A second service cannot take the name.
    RecordingTarget another;
    ZYMScriptingBus rival(another);
    EXPECT_FALSE(rival.registerOn(bus_.Connect()));
    // With no instance running, the new process starts as the first one.
    PrivateBus empty;
    REQUIRE_PRIVATE_BUS(empty);
    EXPECT_FALSE(ZYMScriptingBus::forwardURL(empty.Connect(), "zymradio:playstation?id=123"));
}

constexpr const char* kSecondStart = "ZYM_TEST_SECOND_START_BUS";

// Run by the next test as a second start of the program, in a process of its own.
TEST(ScriptingSecondStart, HandsOverAndExits) {
    const char* address = std::getenv(kSecondStart);
    if (address == nullptr) GTEST_SKIP() << "only as the child of ASecondProcessHandsItsUrlOver";
    const QDBusConnection bus = QDBusConnection::connectToBus(QString::fromUtf8(address), "second-start");
    const auto url = ZYMScriptCommands::launchURL({"zymradio", "zymradio:playstation?name=Jazz%20Classics"});
    std::_Exit(url && ZYMScriptingBus::forwardURL(bus, *url) ? 0 : 3);
}

TEST_F(ScriptingBusTest, ASecondProcessHandsItsUrlOver) {
    target_.known = {{"88", "Jazz Classics"}};
    QProcess second;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(kSecondStart, bus_.Address());
    second.setProcessEnvironment(env);
    second.start(QCoreApplication::applicationFilePath(), {"--gtest_filter=ScriptingSecondStart.HandsOverAndExits"});
    ASSERT_TRUE(RunUntil([&] { return second.state() == QProcess::NotRunning; }, std::chrono::seconds(60)));
    EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second.exitCode(), 0) << second.readAllStandardError().toStdString();
    EXPECT_EQ(target_.calls, QStringList{"playStationWithName Jazz Classics"});
}

}  // namespace

#include "ScriptingTest.moc"
