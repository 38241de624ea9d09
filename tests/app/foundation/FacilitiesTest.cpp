// The application layer's shared facilities: notifications, user defaults, strings
// tables, resources, property lists, timers and the event-loop guard.

#include "app/foundation/Clock.h"
#include "app/foundation/Localizer.h"
#include "app/foundation/NotificationCenter.h"
#include "app/foundation/PropertyList.h"
#include "app/foundation/Resources.h"
#include "app/foundation/ServiceLayerError.h"
#include "app/foundation/StringsTable.h"
#include "app/foundation/UserDefaults.h"
#include "platform/RunLoop.h"

#include "AppTestSupport.h"
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
// The sanitizers' allocation hooks (GCC ships the runtime without this header).
extern "C" int __sanitizer_install_malloc_and_free_hooks(void (*)(const volatile void*, std::size_t),
                                                         void (*)(const volatile void*));
#endif

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QSize>
#include <QTemporaryDir>
#include <QTimer>

#include <atomic>
#include <chrono>
#include <cmath>
#include <limits>

#include <sys/wait.h>
#include <unistd.h>

using namespace std::chrono_literals;

namespace {

bool RunUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout = 10s) {
    return platform::RunLoop::Current().RunUntil(done, timeout);
}

QByteArray ReadAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void WriteAll(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

}  // namespace

// ---- NotificationCenter ----

TEST(NotificationCenterTest, DeliversByNameAndObjectInOrderOfObserving) {
    NotificationCenter center;
    int a = 0, b = 0;
    QStringList heard;
    auto byName = center.observe("radiostations_changed", nullptr, [&](const Notification& n) {
        heard << "name:" + n.name;
        EXPECT_EQ(std::any_cast<int>(n.userInfo.at("object1")), 7);
    });
    auto byObject = center.observe(QString(), &a, [&](const Notification& n) { heard << "object:" + n.name; });
    auto both = center.observe("radiostations_changed", &b, [&](const Notification& n) { heard << "both:" + n.name; });

    center.post("radiostations_changed", &a, {{"object1", std::any(7)}});
    EXPECT_EQ(heard, (QStringList{"name:radiostations_changed", "object:radiostations_changed"}));
    heard.clear();
    center.post("other", &a);
    center.post("radiostations_changed", &b, {{"object1", std::any(7)}});
    EXPECT_EQ(heard, (QStringList{"object:other", "name:radiostations_changed", "both:radiostations_changed"}));

    heard.clear();
    byName.reset();
    EXPECT_FALSE(byName.active());
    {
        auto moved = std::move(both);  // the subscription follows the move; its end removes it
    }
    center.post("radiostations_changed", &b, {{"object1", std::any(7)}});
    EXPECT_TRUE(heard.isEmpty());
}

TEST(NotificationCenterTest, ObserversRemovedOrAddedDuringAPost) {
    NotificationCenter center;
    QStringList heard;
    NotificationCenter::Subscription second, added;
    auto first = center.observe("n", nullptr, [&](const Notification&) {
        heard << "first";
        second.reset();  // removed before its turn: it must not be called
        if (!added.active()) added = center.observe("n", nullptr, [&](const Notification&) { heard << "added"; });
    });
    second = center.observe("n", nullptr, [&](const Notification&) { heard << "second"; });
    NotificationCenter::Subscription self;
    self = center.observe("n", nullptr, [&](const Notification&) {
        heard << "self";
        self.reset();  // removing itself while running
    });
    center.post("n");
    EXPECT_EQ(heard, (QStringList{"first", "self"}));
    heard.clear();
    center.post("n");
    EXPECT_EQ(heard, (QStringList{"first", "added"}));
}

TEST(NotificationCenterTest, SubscriptionMayOutliveItsCenter) {
    NotificationCenter::Subscription s;
    {
        NotificationCenter center;
        s = center.observe("n", nullptr, [](const Notification&) {});
    }
    s.reset();  // nothing to remove from: must not touch the dead center
    SUCCEED();
}

// ---- UserDefaults ----

TEST(UserDefaultsTest, KeysOfEveryKindSurviveARestart) {
    QTemporaryDir dir;
    const QString path = dir.filePath("defaults.conf");
    const QStringList keys{"play_at_launch",
                           "recent_stations_a/b",
                           "preset_stations_a\\b",
                           "100%",
                           "Ærø ünïcödé",
                           "a=b;c",
                           "[General]",
                           "@x",
                           " lead"};
    {
        UserDefaults d(path);
        qint64 i = 1;
        for (const QString& k : keys)
            d.setInteger(k, i++);
        d.setString("text", "a, b");
        d.setDouble("real", 0.1);
        d.setBool("flag", true);
        d.setObject("list1", QStringList{"only"});
        d.setObject("list", QVariantList{"x", 2});
        d.setObject("map", QVariantMap{{"k", "v"}});
        ASSERT_TRUE(d.synchronize());
    }
    UserDefaults d(path);
    qint64 i = 1;
    for (const QString& k : keys)
        EXPECT_EQ(d.integer(k), i++) << k.toStdString();
    EXPECT_EQ(d.string("text"), "a, b");
    EXPECT_DOUBLE_EQ(d.doubleValue("real"), 0.1);
    EXPECT_TRUE(d.boolean("flag"));
    EXPECT_EQ(d.stringArray("list1"), QStringList{"only"});
    EXPECT_EQ(d.array("list").size(), 2);
    EXPECT_EQ(d.dictionary("map").value("k").toString(), "v");
    // '/' in a key made no group: the file has one section.
    const QByteArray text = ReadAll(path);
    EXPECT_EQ(text.count("["), 1) << text.constData();
}

// The file holds each key escaped once, as QSettings writes it; what earlier versions
// wrote escaped twice ("Color%2520Scheme%2520Name") is still read, and a write replaces it.
TEST(UserDefaultsTest, KeysAreEscapedOnceAndTwiceEscapedOnesStillRead) {
    QTemporaryDir dir;
    const QString path = dir.filePath("defaults.conf");
    {
        UserDefaults d(path);
        d.setString("Color Scheme Name", "Night");
        d.setString("NSWindow Frame overlayWindow", "10 20 300 80");
        ASSERT_TRUE(d.synchronize());
    }
    QByteArray text = ReadAll(path);
    EXPECT_TRUE(text.contains("Color%20Scheme%20Name=Night")) << text.constData();
    EXPECT_TRUE(text.contains("NSWindow%20Frame%20overlayWindow=")) << text.constData();
    EXPECT_FALSE(text.contains("%25")) << text.constData();

    // A profile as the earlier versions left it.
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(
            "[General]\nColor%2520Scheme%2520Name=Paper\nNSWindow%2520Frame%2520overlayWindow=1 2 3 4\n"
            "recent_stations_Demo%2520Listener=a, b\nplay_at_launch=true\n");
    }
    {
        UserDefaults d(path);
        EXPECT_EQ(d.string("Color Scheme Name"), "Paper");
        EXPECT_EQ(d.string("NSWindow Frame overlayWindow"), "1 2 3 4");
        EXPECT_EQ(d.stringArray("recent_stations_Demo Listener"), (QStringList{"a", "b"}));
        EXPECT_TRUE(d.boolean("play_at_launch"));
        d.setString("Color Scheme Name", "Classic");
        d.removeObject("NSWindow Frame overlayWindow");
        ASSERT_TRUE(d.synchronize());
    }
    text = ReadAll(path);
    EXPECT_TRUE(text.contains("Color%20Scheme%20Name=Classic")) << text.constData();
    EXPECT_FALSE(text.contains("Color%2520Scheme")) << text.constData();
    EXPECT_FALSE(text.contains("overlayWindow")) << text.constData();
    UserDefaults d(path);
    EXPECT_EQ(d.string("Color Scheme Name"), "Classic");
    EXPECT_FALSE(d.object("NSWindow Frame overlayWindow").isValid());
    EXPECT_EQ(d.stringArray("recent_stations_Demo Listener"), (QStringList{"a", "b"}));
}

TEST(UserDefaultsTest, RegisteredDefaultsAnswerButAreNeverWritten) {
    QTemporaryDir dir;
    const QString path = dir.filePath("defaults.conf");
    UserDefaults d(path);
    d.registerDefaults({{"play_at_launch", true}, {"network_bandwidth_limit", 128}, {"log_verbosity", "2"}});
    d.setString("screenname", "someone");
    ASSERT_TRUE(d.synchronize());
    EXPECT_TRUE(d.boolean("play_at_launch"));
    EXPECT_EQ(d.integer("network_bandwidth_limit"), 128);
    EXPECT_EQ(d.integer("log_verbosity"), 2);
    d.setInteger("network_bandwidth_limit", 56);
    EXPECT_EQ(d.integer("network_bandwidth_limit"), 56);
    d.removeObject("network_bandwidth_limit");
    EXPECT_EQ(d.integer("network_bandwidth_limit"), 128) << "back to the registered value";
    ASSERT_TRUE(d.synchronize());
    const QByteArray text = ReadAll(path);
    EXPECT_TRUE(text.contains("screenname"));
    EXPECT_FALSE(text.contains("play_at_launch"));
    EXPECT_FALSE(text.contains("network_bandwidth_limit"));
    EXPECT_FALSE(text.contains("log_verbosity"));
}

namespace {
// The largest single block asked of the allocator since the last reset (sanitizer builds).
std::atomic<std::size_t> gLargestAllocation{0};
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
void NoteAllocation(const volatile void*, std::size_t size) {
    std::size_t seen = gLargestAllocation.load();
    while (size > seen && !gLargestAllocation.compare_exchange_weak(seen, size)) {}
}
void NoteFree(const volatile void*) {}
bool WatchAllocations() {
    static const bool installed = __sanitizer_install_malloc_and_free_hooks(NoteAllocation, NoteFree) != 0;
    return installed;
}
#else
bool WatchAllocations() { return false; }
#endif
}  // namespace

// A stored value whose list, text list or dictionary claims 0x7fffffff items, or whose
// type the program never stores, is read as absent, without Qt reserving gigabytes for
// it; every other value of the file, dictionaries and lists included, is kept.
TEST(UserDefaultsTest, AValueClaimingBillionsOfItemsIsReadAsAbsent) {
    const struct {
        const char* what;
        QByteArray value;
    } rows[] = {
        {"list", R"v(@Variant(\0\0\0\t\x7f\xff\xff\xff))v"},
        {"text list", R"v(@Variant(\0\0\0\v\x7f\xff\xff\xff))v"},
        {"dictionary", R"v(@Variant(\0\0\0\b\x7f\xff\xff\xff))v"},
        {"list in a list", R"v("@Variant(\0\0\0\t\0\0\0\x1\0\0\0\t\x7f\xff\xff\xff)")v"},
        {"type never stored", R"v(@Variant(\0\0\0\x7f\0\0\0\x4ZYM\0))v"},
        {"cut short", R"v(@Variant(\0\0\0\n\0\0\0\x10\0))v"},
    };
    const bool watching = WatchAllocations();
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        QTemporaryDir dir;
        const QString path = dir.filePath("defaults.conf");
        {
            UserDefaults d(path);
            d.setString("screenname", "demo");
            d.setObject("map", QVariantMap{{"k", "v"}, {"n", 3}});
            d.setObject("recent_stations_demo", QStringList{"a", "b"});
            d.setDouble("volume", 0.25);
            ASSERT_TRUE(d.synchronize());
        }
        QByteArray text = ReadAll(path);
        text.replace("[General]\n", "[General]\nbad=" + row.value + "\nbad_too=" + row.value + "\n");
        WriteAll(path, text);
        gLargestAllocation = 0;
        UserDefaults d(path);
        EXPECT_FALSE(d.object("bad").isValid());
        EXPECT_FALSE(d.object("bad_too").isValid());
        EXPECT_EQ(d.string("screenname"), "demo");
        EXPECT_EQ(d.dictionary("map").value("n").toInt(), 3);
        EXPECT_EQ(d.stringArray("recent_stations_demo"), (QStringList{"a", "b"}));
        EXPECT_DOUBLE_EQ(d.doubleValue("volume"), 0.25);
        if (watching) EXPECT_LT(gLargestAllocation.load(), std::size_t(64) << 20);
        // Written again, the file keeps the others.
        d.setBool("flag", true);
        ASSERT_TRUE(d.synchronize());
        UserDefaults again(path);
        EXPECT_EQ(again.string("screenname"), "demo");
        EXPECT_EQ(again.dictionary("map").value("k").toString(), "v");
        EXPECT_FALSE(again.object("bad").isValid());
    }
}

TEST(UserDefaultsTest, IntegerIsZeroWhenMissingOrNotANumber) {
    QTemporaryDir dir;
    UserDefaults d(dir.filePath("d.conf"));
    d.setString("word", "abc");
    d.setString("half", "12abc");
    d.setString("blank", "");
    d.setString("spaced", " 42 ");
    d.setString("real", "2.9");
    d.setObject("list", QVariantList{1, 2});
    d.setString("huge", "99999999999999999999");
    const struct {
        const char* key;
        qint64 expected;
    } rows[] = {{"missing", 0}, {"word", 0}, {"half", 0}, {"blank", 0},
                {"spaced", 42}, {"real", 2}, {"list", 0}, {"huge", std::numeric_limits<qint64>::max()}};
    for (const auto& r : rows)
        EXPECT_EQ(d.integer(r.key), r.expected) << r.key;
    EXPECT_TRUE(d.string("missing").isNull());
    EXPECT_FALSE(d.boolean("missing"));
}

// ---- Strings tables and the localizer ----

TEST(StringsTableTest, ReadsEntriesEscapesCommentsAndEncodings) {
    const QByteArray utf8 =
        "/* a comment */\n"
        "\"Plain\" = \"Text\";\n"
        "// line comment\n"
        "\"Escapes\" = \"a\\\"b\\\\c\\nd\\t\\U00c6\\101\";\n"
        "Unquoted_key.1 = value;\n"
        "\"Short\";\n"
        "\"Ærø\" = \"Café %@\";";
    auto table = StringsTable::parse(utf8);
    ASSERT_TRUE(table);
    EXPECT_EQ(table->value("Plain"), "Text");
    EXPECT_EQ(table->value("Escapes"), QString::fromUtf8("a\"b\\c\nd\tÆA"));
    EXPECT_EQ(table->value("Unquoted_key.1"), "value");
    EXPECT_EQ(table->value("Short"), "Short");
    EXPECT_EQ(table->value(QString::fromUtf8("Ærø")), QString::fromUtf8("Café %@"));

    const QString text = QString::fromUtf8("\"Ærø\" = \"Café\";");
    QByteArray utf16le("\xFF\xFE", 2);
    utf16le.append(reinterpret_cast<const char*>(text.utf16()), text.size() * 2);
    table = StringsTable::parse(utf16le);
    ASSERT_TRUE(table);
    EXPECT_EQ(table->value(QString::fromUtf8("Ærø")), QString::fromUtf8("Café"));

    for (const char* bad : {"\"a\" = \"b\"", "\"a\" = ;", "\"a = \"b\";", "/* open", "= \"b\";", "\"a\" \"b\";"})
        EXPECT_FALSE(StringsTable::parse(bad)) << bad;
    EXPECT_FALSE(StringsTable::parse(QByteArray("\"a\" = \"\xC3\";")));  // broken UTF-8
    EXPECT_TRUE(StringsTable::parse("")->isEmpty());
}

TEST(LocalizerTest, MissingKeyAnswersTheDefaultOrTheKey) {
    QTemporaryDir dir;
    WriteAll(dir.filePath("Localizable.strings"), "\"Known\" = \"Bekannt\";");
    WriteAll(dir.filePath("Broken.strings"), "\"Known\" = ");
    ScopedResourceRoot root(dir.path());
    LogCapture log;
    Localizer l;
    EXPECT_EQ(l.text("Known"), "Bekannt");
    EXPECT_EQ(l.text("Known", "default"), "Bekannt");
    EXPECT_EQ(l.text("FetchingStationURLProgressString", "Fetching"), "Fetching");
    EXPECT_EQ(l.text("FetchingStationURLProgressString"), "FetchingStationURLProgressString");
    EXPECT_EQ(l.text("Known", QString(), "Broken"), "Known");
    EXPECT_EQ(l.text("Other", QString(), "Broken"), "Other");
    EXPECT_EQ(l.text("Known", QString(), "NoSuchTable"), "Known");
    ASSERT_EQ(log.lines.size(), 1) << "the broken table is logged once";
    EXPECT_TRUE(log.lines[0].contains("Broken.strings"));
}

// ---- Resources ----

TEST(ResourcesTest, CompiledResourcesWithATestRootFirst) {
    EXPECT_EQ(Resources::find("Localizable", "strings"), ":/Localizable.strings");
    EXPECT_TRUE(Resources::find("NoSuchResource", "plist").isEmpty());
    QTemporaryDir dir;
    WriteAll(dir.filePath("Localizable.strings"), "");
    WriteAll(dir.filePath("Only.plist"), "");
    {
        ScopedResourceRoot root(dir.path());
        EXPECT_EQ(Resources::find("Localizable", "strings"), dir.filePath("Localizable.strings"));
        EXPECT_EQ(Resources::find("Only", "plist"), dir.filePath("Only.plist"));
        for (const char* escape : {"../x", "/etc/passwd", "a/../../x"})
            EXPECT_TRUE(Resources::find(escape, "").isEmpty());
    }
    EXPECT_EQ(Resources::find("Localizable", "strings"), ":/Localizable.strings");
    EXPECT_TRUE(Resources::find("Only", "plist").isEmpty());
}

// ---- Property lists ----

TEST(PropertyListTest, EveryTypeRoundTrips) {
    const QDateTime date(QDate(2007, 3, 4), QTime(5, 6, 7), Qt::UTC);
    QByteArray binary;
    for (int i = 0; i < 256; ++i)
        binary.append(char(i));
    const QVariantMap value{
        {"string", QString::fromUtf8("Ærø Café <&> \"q\" ]]>")},
        {"empty string", QString("")},
        {"integer", qint64(-9223372036854775807LL - 1)},
        {"big", quint64(18446744073709551615ULL)},
        {"real", 0.1},
        {"tiny", 5e-324},
        {"inf", std::numeric_limits<double>::infinity()},
        {"true", true},
        {"false", false},
        {"date", date},
        {"data", binary},
        {"empty data", QByteArray()},
        {"array", QVariantList{1, "two", QVariantList{}, QVariantMap{}}},
        {"dict", QVariantMap{{"nested", QVariantMap{{"k", "v"}}}}},
    };
    QString error;
    const auto xml = PropertyList::write(value, &error);
    ASSERT_TRUE(xml) << error.toStdString();
    const auto back = PropertyList::read(*xml, &error);
    ASSERT_TRUE(back) << error.toStdString() << "\n" << xml->constData();
    const QVariantMap map = back->toMap();
    EXPECT_EQ(map.keys(), value.keys());
    for (auto it = value.begin(); it != value.end(); ++it) {
        if (it.key() == "array") {
            const QVariantList list = map["array"].toList();
            ASSERT_EQ(list.size(), 4);
            EXPECT_EQ(list[0].toLongLong(), 1);
            EXPECT_EQ(list[1].toString(), "two");
            continue;
        }
        EXPECT_EQ(map[it.key()].toString(), it.value().toString()) << it.key().toStdString();
        EXPECT_EQ(map[it.key()], it.value()) << it.key().toStdString();
    }
    EXPECT_EQ(map["date"].toDateTime(), date);
    EXPECT_TRUE(xml->contains("<real>0.1</real>"));
    EXPECT_TRUE(xml->contains("<!DOCTYPE plist"));
    // NaN never equals itself: checked apart.
    const auto nan = PropertyList::read(*PropertyList::write(std::numeric_limits<double>::quiet_NaN()));
    ASSERT_TRUE(nan);
    EXPECT_TRUE(std::isnan(nan->toDouble()));
    EXPECT_FALSE(PropertyList::write(QVariant::fromValue(QSize(1, 2)), &error));
}

TEST(PropertyListTest, MalformedAndHostileDocumentsAreRefused) {
    const char* head =
        "<?xml version=\"1.0\"?><!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
        "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">";
    const QByteArray good =
        QByteArray(head) + "<plist version=\"1.0\"><dict><key>a</key><integer>+7</integer></dict></plist>";
    const auto ok = PropertyList::read(good);
    ASSERT_TRUE(ok);
    EXPECT_EQ(ok->toMap()["a"].toLongLong(), 7);
    const char* bad[] = {
        "<plist><dict><key>a</key></dict></plist>",
        "<plist><dict><integer>1</integer></dict></plist>",
        "<plist><integer>1.5</integer></plist>",
        "<plist><integer>99999999999999999999999</integer></plist>",
        "<plist><real>1,5</real></plist>",
        "<plist><date>yesterday</date></plist>",
        "<plist><data>!!!</data></plist>",
        "<plist><string><b/></string></plist>",
        "<plist><blob/></plist>",
        "<plist><string>a</string><string>b</string></plist>",
        "<plist>text<string>a</string></plist>",
        "<plist><array><string>a</string></plist>",
        "",
        "<?xml version=\"1.0\"?><!DOCTYPE plist [<!ENTITY e \"expanded\">]><plist><string>&e;</string></plist>",
        "<?xml version=\"1.0\"?><!DOCTYPE plist [<!ENTITY e SYSTEM "
        "\"file:///etc/passwd\">]><plist><string>&e;</string></plist>",
        "<?xml version=\"1.0\"?><!DOCTYPE plist [<!ENTITY a \"aaaa\"><!ENTITY b "
        "\"&a;&a;&a;\">]><plist><string>&b;</string></plist>",
        "<plist><string>&undeclared;</string></plist>",
    };
    for (const char* text : bad) {
        QString error;
        EXPECT_FALSE(PropertyList::read(QByteArray(text), &error)) << text;
        EXPECT_FALSE(error.isEmpty()) << text;
    }
    // Deep nesting is bounded, not a stack overflow.
    QByteArray deep = "<plist>";
    for (int i = 0; i < 100000; ++i)
        deep += "<array>";
    EXPECT_FALSE(PropertyList::read(deep));
}

TEST(PropertyListTest, AWriteThatDiesBeforeTheRenameKeepsTheOldFile) {
    QTemporaryDir dir;
    const QString path = dir.filePath("sub/cache.plist");
    ASSERT_TRUE(PropertyList::writeFile(path, QVariantMap{{"k", "old"}}));
    EXPECT_EQ(PropertyList::readFile(path)->toMap()["k"].toString(), "old");

    // A writer process killed in the middle of its write.
    QVariantList big;
    for (int i = 0; i < 200000; ++i)
        big.append(QString("item %1").arg(i));
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // The write is under way when the alarm ends the process.
        alarm(1);
        for (;;)
            PropertyList::writeFile(path, QVariantMap{{"k", big}});
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status));
    const auto after = PropertyList::readFile(path);
    ASSERT_TRUE(after) << "a half-written file replaced the old one";
    const QVariant k = after->toMap()["k"];
    EXPECT_TRUE(k.toString() == "old" || k.toList().size() == big.size());

    // A value that cannot be written leaves the file too.
    ASSERT_TRUE(PropertyList::writeFile(path, QVariantMap{{"k", "old"}}));
    EXPECT_FALSE(PropertyList::writeFile(path, QVariantMap{{"k", QVariant::fromValue(QSize())}}));
    EXPECT_EQ(PropertyList::readFile(path)->toMap()["k"].toString(), "old");
}

// ---- Scheduler ----

TEST(SchedulerTest, FakeTimersFireInDueOrderWithTheClockAtTheirTime) {
    FakeClock clock;
    const QDateTime start = clock.now();
    FakeScheduler s(&clock);
    QStringList fired;
    auto late = s.singleShot(300ms, [&] { fired << "late@" + QString::number(start.msecsTo(clock.now())); });
    auto early = s.singleShot(100ms, [&] { fired << "early@" + QString::number(start.msecsTo(clock.now())); });
    auto every = s.repeating(120ms, [&] { fired << "tick@" + QString::number(start.msecsTo(clock.now())); });
    auto cancelled = s.singleShot(50ms, [&] { fired << "cancelled"; });
    cancelled->cancel();
    s.advance(299ms);
    EXPECT_EQ(fired, (QStringList{"early@100", "tick@120", "tick@240"}));
    EXPECT_EQ(start.msecsTo(clock.now()), 299);
    s.advance(1ms);
    EXPECT_EQ(fired.last(), "late@300");
    every.reset();
    s.advance(1000ms);
    EXPECT_EQ(fired.size(), 4);
    EXPECT_EQ(s.pendingCount(), 0);
}

TEST(SchedulerTest, ThrowingTimerCallbackIsLoggedAndTheLoopGoesOn) {
    LogCapture log;
    FakeScheduler fake;
    int after = 0;
    auto t1 = fake.repeating(10ms, [] { throw ServiceLayerError(kImplementationError, "boom"); });
    auto t2 = fake.singleShot(15ms, [&] { ++after; });
    fake.advance(25ms);
    EXPECT_EQ(after, 1);
    ASSERT_EQ(log.lines.size(), 2);  // the repeating timer went on
    EXPECT_EQ(log.lines[0], "timer: Implementation Error: boom");

    log.lines.clear();
    QtScheduler qt;
    int ticks = 0;
    auto thrower = qt.singleShot(1ms, [] { throw std::runtime_error("qt boom"); });
    auto repeat = qt.repeating(5ms, [&] {
        ++ticks;
        throw 42;
    });
    ASSERT_TRUE(RunUntil([&] { return ticks >= 3; }));
    repeat.reset();
    EXPECT_TRUE(log.lines.contains("timer: exception: qt boom"));
    EXPECT_TRUE(log.lines.contains("timer: unknown exception"));
}

TEST(SchedulerTest, QtTimerDestroyedInItsCallbackAndLongDelaysNeverFireEarly) {
    QtScheduler qt;
    std::unique_ptr<ScheduledTimer> self;
    int calls = 0;
    self = qt.repeating(1ms, [&] {
        ++calls;
        self.reset();
    });
    ASSERT_TRUE(RunUntil([&] { return calls == 1; }));
    platform::RunLoop::Current().RunFor(30ms);
    EXPECT_EQ(calls, 1);

    // A delay beyond QTimer's int milliseconds is waited out in steps (here made small).
    QtScheduler::setMaxStepForTesting(20ms);
    const auto begin = std::chrono::steady_clock::now();
    bool fired = false;
    auto t = qt.singleShot(130ms, [&] { fired = true; });
    ASSERT_TRUE(RunUntil([&] { return fired; }));
    EXPECT_GE(std::chrono::steady_clock::now() - begin, 129ms);
    QtScheduler::setMaxStepForTesting(0ms);

    // And at full size: nothing fires within the test, the timer stays armed.
    bool distant = false;
    auto far = qt.singleShot(std::chrono::milliseconds(std::numeric_limits<int>::max()) * 3, [&] { distant = true; });
    platform::RunLoop::Current().RunFor(20ms);
    EXPECT_FALSE(distant);
    EXPECT_TRUE(far->isActive());
}

// ---- The event-loop guard ----

TEST(GuardTest, CatchesEverythingAndLogsOneLine) {
    LogCapture log;
    EXPECT_TRUE(Guarded("ok", [] {}));
    EXPECT_FALSE(Guarded("a", [] { throw ServiceLayerError(kProtocolError, "no client protocol"); }));
    EXPECT_FALSE(Guarded("b", [] { ZYM_ASSERT(1 + 1 == 3, "arithmetic"); }));
    EXPECT_FALSE(Guarded("c", [] { throw std::bad_alloc(); }));
    EXPECT_FALSE(Guarded("d", [] { throw "text"; }));
    ASSERT_EQ(log.lines.size(), 4);
    EXPECT_EQ(log.lines[0], "a: ProtocolError: no client protocol");
    EXPECT_TRUE(log.lines[1].startsWith("b: assertion failed: arithmetic (1 + 1 == 3, ")) << log.lines[1].toStdString();
    EXPECT_EQ(log.lines[2], "c: exception: std::bad_alloc");
    EXPECT_EQ(log.lines[3], "d: unknown exception");
}
