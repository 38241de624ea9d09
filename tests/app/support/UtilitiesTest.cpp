#include "app/support/ZYMUtilities.h"

#include "app/foundation/ServiceLayerError.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

#include <climits>

using namespace ZYMUtilities;

namespace {

QVariantList L(std::initializer_list<QVariant> v) { return QVariantList(v); }

TEST(Utilities, StringValues) {
    struct Case {
        QString text;
        long value;
        bool notEmpty;
    };
    const Case cases[] = {
        {"  -42abc", -42, true}, {"+7", 7, true},     {"abc12", 0, true},
        {"", 0, false},          {" \t ", 0, false},  {"\n", 0, true},
        {"12\xC3\xA9", 0, true}, {"\t 3 4", 3, true}, {"99999999999999999999", LONG_MAX, true},
        {"0x1A", 0, true},       {"-", 0, true},      {"007", 7, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text.toStdString());
        EXPECT_EQ(longValue(c.text), c.value);
        EXPECT_EQ(isNotEmpty(c.text), c.notEmpty);
        EXPECT_EQ(numberWithLongFromString(c.text), c.value);
    }
    EXPECT_EQ(numberWithLongFromString(QString()), std::nullopt);

    struct Truncation {
        QString text;
        qsizetype length;
        QString expected;
    };
    const Truncation truncations[] = {
        {"radio", 5, "radio"}, {"radio", 9, "radio"}, {"radio", 2, "ra"}, {"radio", 0, ""}, {"", 3, ""}};
    for (const auto& t : truncations)
        EXPECT_EQ(zym_stringByTruncatingToLength(t.text, t.length), t.expected);
}

TEST(Utilities, Lists) {
    const auto dbl = [](const QVariant& v) { return v.toInt() % 3 == 0 ? QVariant() : QVariant(v.toInt() * 2); };
    const auto even = [](const QVariant& v) { return v.toInt() % 2 == 0; };
    EXPECT_EQ(arrayByMakingObjectsPerformSelector(L({1, 2, 3, 4}), dbl), L({2, 4, 8}));  // none left out
    EXPECT_EQ(arrayByPerformingSelectorWithEachObjectInArray(dbl, L({4, 3, 1})), L({8, 2}));
    EXPECT_EQ(arrayByMakingObjectsPerformSelectorWithObject(
                  L({1, 2}), [](const QVariant& e, const QVariant& o) { return QVariant(e.toInt() + o.toInt()); }, 10),
              L({11, 12}));
    EXPECT_EQ(filteredArrayUsingBooleanSelector(L({1, 2, 3, 4}), even), L({2, 4}));
    EXPECT_EQ(filteredArrayUsingNegatedBooleanSelector(L({1, 2, 3, 4}), even), L({1, 3}));
    EXPECT_EQ(selectObjectsFromArrayUsingBooleanSelector(L({}), even), L({}));
    QVariantList performed;
    performSelectorWithEachObjectInArray([&](const QVariant& v) { performed.append(v); }, L({"a", "b"}));
    EXPECT_EQ(performed, L({"a", "b"}));
    EXPECT_EQ(firstObject(L({})), QVariant());
    EXPECT_EQ(firstObject(L({5, 6})), QVariant(5));

    struct Slices {
        const char* name;
        QVariantList arrays;
        QVariantList expected;
    };
    const Slices slices[] = {
        {"ShortestWins", L({L({1, 2, 3}), L({4, 5})}), L({L({1, 4}), L({2, 5})})},
        {"Empty", L({}), L({})},
        {"EmptyInner", L({L({1}), L({})}), L({})},
        {"One", L({L({1, 2})}), L({L({1}), L({2})})},
    };
    for (const auto& s : slices) {
        SCOPED_TRACE(s.name);
        EXPECT_EQ(arraySlices(s.arrays), s.expected);
    }

    EXPECT_EQ(arrayWithContentsOfArrays(L({L({1}), L({}), L({2, 3})})), L({1, 2, 3}));
    try {
        arrayWithContentsOfArrays(L({L({1}), 7}));
        FAIL() << "a non-list element went through";
    } catch (const AssertionFailure& e) {
        EXPECT_NE(std::string(e.what()).find("should be an NSArray"), std::string::npos) << e.what();
    }

    const QList<KeyPath> keys = {[](const QVariant& o) { return o.toMap().value("name"); },
                                 [](const QVariant& o) { return o.toMap().value("id"); }};
    const QVariantMap a{{"name", "Jazz"}, {"id", 1}};
    const QVariantMap b{{"name", "Rock"}, {"id", 2}};
    EXPECT_EQ(zym_valuesForKeyPaths(a, keys), L({"Jazz", 1}));
    EXPECT_EQ(arrayValueForKeys(L({a, b}), keys), L({L({"Jazz", 1}), L({"Rock", 2})}));
    EXPECT_EQ(setArrayValueForKeys(L({a, b, a}), keys), L({L({"Jazz", 1}), L({"Rock", 2})}));
    EXPECT_EQ(
        setByMakingObjectsPerformSelector(L({1, 2, 1, 4}), [](const QVariant& v) { return QVariant(v.toInt() % 2); }),
        L({1, 0}));
}

TEST(Utilities, ClassFilters) {
    QObject plain;
    QTimer timer;  // a QObject subclass
    const QVariantList mixed = L({QVariant::fromValue(&plain), QVariant::fromValue<QObject*>(&timer), 3, "x", 4});
    const ClassRef object{0, &QObject::staticMetaObject};
    const ClassRef timerClass{0, &QTimer::staticMetaObject};
    const ClassRef integer{QMetaType::Int, nullptr};
    EXPECT_EQ(filteredArrayWithKindOfClass(mixed, object).size(), 2);
    EXPECT_EQ(filteredArrayWithMembersOfClass(mixed, object).size(), 1);
    EXPECT_EQ(filteredArrayWithKindOfClass(mixed, timerClass).size(), 1);
    EXPECT_EQ(filteredArrayWithMembersOfClass(mixed, integer), L({3, 4}));
    EXPECT_EQ(filteredArrayWithKindsOfClasses(mixed, {timerClass, integer}).size(), 3);
    EXPECT_EQ(filteredArrayWithMembersOfClasses(mixed, {object, integer}).size(), 3);
    EXPECT_EQ(filteredArrayWithMembersOfClasses(mixed, {}), L({}));
}

TEST(Utilities, MutableDictionaryUnderKey) {
    QVariantMap settings{{"plain", 5}};
    MutableDictionary made = mutableDictionaryValueForKey(settings, "prefs");
    made->insert("volume", 0.5);
    EXPECT_EQ(mutableDictionaryValueForKey(settings, "prefs")->value("volume"), 0.5);  // the same one
    EXPECT_THROW(mutableDictionaryValueForKey(settings, "plain"), AssertionFailure);
    EXPECT_EQ(settings.value("plain"), 5);
}

TEST(Utilities, StreetComponents) {
    struct Case {
        const char* name;
        QVariantList lines;
        std::optional<QString> encoded;
        bool roundTrips;
    };
    const Case cases[] = {
        {"ThreeLines", L({"a", "b\\n", "c\nd"}), QString("a\nb\\\\n\nc\\nd"), true},
        {"NullEntry", L({"1 Main St", QVariant(), "Apt 2"}), QString("1 Main St\n<null>\nApt 2"), true},
        {"Empty", L({}), std::nullopt, false},
        {"OneEmptyLine", L({""}), QString(""), true},
        {"BackslashBeforeLineFeed", L({"x\\\ny"}), QString("x\\\\ny"), false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto encoded = encodedStreetComponentsJoinedByNewline(c.lines);
        EXPECT_EQ(encoded, c.encoded);
        if (encoded) {
            EXPECT_EQ(encoded->count('\n') + 1, c.lines.size());
        }
        if (c.roundTrips) {
            EXPECT_EQ(decodedStreetComponents(*encoded), c.lines);
        }
        if (encoded && !c.roundTrips) {
            EXPECT_NE(decodedStreetComponents(*encoded), c.lines);
        }
    }
}

TEST(Utilities, EnsureApplicationSupportFolder) {
    struct Case {
        const char* name;
        std::function<void(const QString& root)> prepare;
        bool made;
    };
    auto file = [](const QString& path) {
        QDir().mkpath(QFileInfo(path).path());
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    };
    const Case cases[] = {
        {"BothMissing", [](const QString&) {}, true},
        {"Present", [](const QString& root) { QDir().mkpath(root + "/data/zymradio"); }, true},
        {"FileWhereTheProgramsFolderGoes", [&](const QString& root) { file(root + "/data/zymradio"); }, false},
        {"FileWhereTheDataFolderGoes", [&](const QString& root) { file(root + "/data"); }, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir dir;
        c.prepare(dir.path());
        const QByteArray saved = qgetenv("XDG_DATA_HOME");
        const bool wasSet = qEnvironmentVariableIsSet("XDG_DATA_HOME");
        qputenv("XDG_DATA_HOME", (dir.path() + "/data").toUtf8());
        const auto result = EnsureApplicationSupportFolder();
        if (wasSet)
            qputenv("XDG_DATA_HOME", saved);
        else
            qunsetenv("XDG_DATA_HOME");
        EXPECT_EQ(result.has_value(), c.made);
        if (c.made) {
            EXPECT_EQ(*result, dir.path() + "/data/zymradio");
            EXPECT_TRUE(QFileInfo(*result).isDir());
        }
    }
}

}  // namespace
