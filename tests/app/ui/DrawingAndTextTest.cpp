// Geometry of the drawing helpers, window fitting, and the texts the code shows.

#include "app/foundation/Localizer.h"
#include "app/foundation/StringsTable.h"
#include "app/ui/ColorSchemeController.h"
#include "app/ui/DrawingHelpers.h"
#include "app/ui/LocalizedText.h"
#include "app/ui/WindowHelpers.h"

#include "UiTestSupport.h"

#include <gtest/gtest.h>

#include <QDirIterator>
#include <QFile>
#include <QPainter>
#include <QRegularExpression>
#include <QSet>

TEST(DrawingHelpersTest, CenterSizeInRect) {
    struct Case {
        const char* what;
        QSizeF size;
        QRectF rect;
        bool clip;
        QRectF expected;
    } cases[] = {
        {"smaller is centred", {20, 10}, {0, 0, 60, 30}, true, {20, 10, 20, 10}},
        {"wider, clipped", {100, 10}, {5, 0, 60, 30}, true, {5, 10, 60, 10}},
        {"wider, not clipped", {100, 10}, {5, 0, 60, 30}, false, {-15, 10, 100, 10}},
        {"taller, clipped", {10, 50}, {0, 7, 30, 20}, true, {10, 7, 10, 20}},
        {"taller, not clipped", {10, 50}, {0, 7, 30, 20}, false, {10, -8, 10, 50}},
        {"same size", {60, 30}, {1, 2, 60, 30}, true, {1, 2, 60, 30}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(CenterSizeInRect(c.size, c.rect, c.clip), c.expected);
    }
}

TEST(DrawingHelpersTest, CornerRadiusIsClampedToHalfTheSides) {
    struct Case {
        QRectF rect;
        qreal radius, expected;
    } cases[] = {
        {{0, 0, 40, 10}, 8, 5},  // semicircular ends
        {{0, 0, 10, 40}, 8, 5},  // limited by the width
        {{0, 0, 40, 40}, 8, 8}, {{0, 0, 40, 10}, 0, 0}, {{0, 0, 40, 10}, -3, 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(clampedCornerRadius(c.rect, c.radius), c.expected);
    // Radius 0 is the plain rectangle; a clamped one stays inside its rectangle.
    EXPECT_EQ(roundCorneredRectPath({3, 4, 40, 10}, 0).boundingRect(), QRectF(3, 4, 40, 10));
    const QPainterPath pill = roundCorneredRectPath({0, 0, 40, 10}, 8);
    EXPECT_EQ(pill.boundingRect(), QRectF(0, 0, 40, 10));
    EXPECT_FALSE(pill.contains(QPointF(0.3, 0.3)));  // the corner is cut away
    EXPECT_TRUE(pill.contains(QPointF(5, 5)));
}

TEST(DrawingHelpersTest, BandPieces) {
    QImage left(6, 10, QImage::Format_ARGB32), center(1, 10, QImage::Format_ARGB32),
        right(8, 10, QImage::Format_ARGB32);
    const ImageSetRenderer band(left, center, right);
    struct Case {
        const char* what;
        QRectF rect;
        QRectF l, c, r;
    } cases[] = {
        {"exactly the caps' width: two halves, no middle", {0, 0, 14, 10}, {0, 0, 7, 10}, {}, {7, 0, 7, 10}},
        {"one point wider: a one-point middle", {0, 0, 15, 10}, {0, 0, 6, 10}, {6, 0, 1, 10}, {7, 0, 8, 10}},
        {"wide", {0, 0, 100, 10}, {0, 0, 6, 10}, {6, 0, 86, 10}, {92, 0, 8, 10}},
        {"halves of its own width at a non-zero x", {50, 3, 10, 10}, {50, 3, 5, 10}, {}, {55, 3, 5, 10}},
        {"caps at a non-zero x", {50, 3, 30, 10}, {50, 3, 6, 10}, {56, 3, 16, 10}, {72, 3, 8, 10}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const auto pieces = band.pieceRects(c.rect);
        EXPECT_EQ(pieces[0], c.l);
        EXPECT_EQ(pieces[1], c.c);
        EXPECT_EQ(pieces[2], c.r);
    }
}

TEST(DrawingHelpersTest, BandShowsOnlyOverWhatIsPainted) {
    QImage red(4, 4, QImage::Format_ARGB32);
    red.fill(Qt::red);
    QImage canvas(20, 4, QImage::Format_ARGB32_Premultiplied);
    canvas.fill(Qt::transparent);
    QPainter p(&canvas);
    p.fillRect(QRect(0, 0, 10, 4), Qt::blue);
    ImageSetRenderer(red, red, red).drawInRect(p, QRectF(0, 0, 20, 4));
    p.end();
    EXPECT_EQ(canvas.pixelColor(5, 2), QColor(Qt::red));
    EXPECT_EQ(canvas.pixelColor(15, 2).alpha(), 0);
}

TEST(WindowHelpersTest, FitsFramesToScreens) {
    const ScreenArea a{{0, 0, 1000, 800}, {0, 25, 1000, 775}};
    const ScreenArea b{{1000, 0, 800, 600}, {1000, 0, 800, 600}};
    struct Case {
        const char* what;
        QRect frame;
        QList<ScreenArea> screens;
        int own;
        QRect expected;
    } cases[] = {
        {"fits entirely: unchanged", {100, 100, 400, 300}, {a}, 0, {100, 100, 400, 300}},
        {"wider than its screen: narrowed", {100, 100, 1400, 300}, {a}, 0, {100, 100, 1000, 300}},
        {"wider and left of the screen: moved in", {-300, 100, 1400, 300}, {a}, 0, {0, 100, 1000, 300}},
        {"above the usable top: moved down", {100, 0, 400, 300}, {a}, 0, {100, 25, 400, 300}},
        {"across two screens: the union's width", {500, 100, 1200, 300}, {a, b}, 0, {500, 100, 1200, 300}},
        {"wider than two screens", {-100, 100, 2000, 300}, {a, b}, 0, {0, 100, 1800, 300}},
        {"on the second screen only", {1100, 50, 900, 300}, {a, b}, 1, {1100, 50, 800, 300}},
        {"touching no screen: its own screen", {5000, 100, 1400, 300}, {a, b}, 0, {5000, 100, 1000, 300}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(fitFrameToScreens(c.frame, c.screens, c.own), c.expected);
    }
}

// ---- texts ----

TEST(LocalizedTextTest, FormatsFillInOnePass) {
    struct Case {
        QString format;
        QStringList arguments;
        QString expected;
        int count;
    } cases[] = {
        {"Playing %@ on %@", {"%@ title", "Jazz %1"}, "Playing %@ title on Jazz %1", 2},
        {"%2$@ by %1$@", {"Song", "Artist"}, "Artist by Song", 2},
        {"Preset %d: %@", {"3", "Rock"}, "Preset 3: Rock", 2},
        {"%ld of %u", {"1", "2"}, "1 of 2", 2},
        {"100%% sure", {}, "100% sure", 0},
        {"%@ and %@", {"one"}, "one and %@", 2},
        {"no placeholders", {}, "no placeholders", 0},
        {"trailing %", {}, "trailing %", 0},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(formatOnePass(c.format, c.arguments), c.expected) << c.format.toStdString();
        EXPECT_EQ(formatArgumentCount(c.format), c.count) << c.format.toStdString();
    }
}

// Each key the code uses is in the table with exactly its arguments, and no code asks
// the table for a key behind the declared ones' back.
TEST(LocalizedTextTest, EveryKeyTheCodeUsesIsInTheTable) {
    QFile file(":/Localizable.strings");
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const auto table = StringsTable::parse(file.readAll());
    ASSERT_TRUE(table);
    for (const StringKey& key : StringKeys::all()) {
        SCOPED_TRACE(key.key);
        ASSERT_TRUE(table->contains(key.key));
        EXPECT_EQ(formatArgumentCount(table->value(key.key)), key.arguments);
        if (key.arguments == 0) EXPECT_EQ(localized(key), table->value(key.key));
    }
    for (const QVariant& scheme : ColorSchemeController::defaultSchemes()) {
        const QString name = ColorSchemeController::schemeName(scheme.toMap());
        EXPECT_TRUE(table->contains(name)) << "no display name for the scheme " << name.toStdString();
    }

    const QString source = qEnvironmentVariable("ZYM_SOURCE_DIR") + "/src/app";
    const QRegularExpression declared(R"re(inline constexpr StringKey \w+\{"(\w+)", (\d+)\})re");
    // A key asked for by name: Localizer::shared().text(...), the windows' text(...) and
    // format(...), or named like a key ("...Title", "...Msg", "...PaneLabel", ...), as the
    // keys of alerts, panes and timer labels are before they reach a lookup.
    const QRegularExpression direct(
        R"re((?:Localizer::shared\(\)\.text|\btext|\bformat|\blocalizedText)\(\s*(?:QStringLiteral\()?"([A-Z]\w*)")re");
    // Pidgin's bus methods ("PurpleSavedstatusSetMessage") are not texts.
    const QRegularExpression named(
        R"re((?<!Description\()"(?!Purple)([A-Z]\w*(?:Title|Msg|Message|Default|Label|Tooltip|Checkbox|Button|String|Format|MenuItem))")re");
    // Named keys may belong to the other tables.
    QSet<QString> anyTable(table->keyBegin(), table->keyEnd());
    for (const char* other : {":/SoftwareUpdate.strings", ":/MetadataLinks.strings"}) {
        QFile f(QString::fromLatin1(other));
        ASSERT_TRUE(f.open(QIODevice::ReadOnly)) << other;
        const auto keys = StringsTable::parse(f.readAll());
        ASSERT_TRUE(keys) << other;
        for (auto k = keys->keyBegin(); k != keys->keyEnd(); ++k)
            anyTable.insert(*k);
    }
    int files = 0;
    QDirIterator it(source, {"*.h", "*.cpp"}, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        QFile f(it.next());
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        const QString text = QString::fromUtf8(f.readAll());
        ++files;
        for (auto m = declared.globalMatch(text); m.hasNext();) {
            const auto match = m.next();
            EXPECT_TRUE(table->contains(match.captured(1))) << match.captured(1).toStdString();
            EXPECT_EQ(formatArgumentCount(table->value(match.captured(1))), match.captured(2).toInt())
                << match.captured(1).toStdString();
        }
        for (auto m = direct.globalMatch(text); m.hasNext();) {
            const auto match = m.next();
            EXPECT_TRUE(table->contains(match.captured(1)))
                << match.captured(1).toStdString() << " in " << it.filePath().toStdString();
        }
        for (auto m = named.globalMatch(text); m.hasNext();) {
            const auto match = m.next();
            EXPECT_TRUE(anyTable.contains(match.captured(1)))
                << match.captured(1).toStdString() << " in " << it.filePath().toStdString();
        }
    }
    EXPECT_GT(files, 0) << "no sources under " << source.toStdString();
}
