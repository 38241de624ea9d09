// A gallery of the custom controls, grabbed as one picture (kept in the build tree as
// gallery.png) and checked by regions and sampled pixels.

#include "app/ui/Buttons.h"
#include "app/ui/LineLayoutView.h"
#include "app/ui/ListViews.h"
#include "app/ui/TextFields.h"

#include "UiTestSupport.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QStandardItemModel>
#include <QTest>

namespace {

int Brightness(QColor c) { return (c.red() + c.green() + c.blue()) / 3; }

// Pixels of `image` inside `r` that `pick` accepts.
int Count(const QImage& image, const QRect& r, const std::function<bool(QColor)>& pick) {
    int n = 0;
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x)
            if (pick(image.pixelColor(x, y))) ++n;
    return n;
}

bool IsBackground(QColor c) { return c.red() > 245 && c.green() > 245 && c.blue() > 245; }

}  // namespace

TEST(GalleryTest, ControlsDrawTheirStates) {
    QWidget gallery;
    gallery.setAutoFillBackground(true);
    QPalette palette = gallery.palette();
    palette.setColor(QPalette::Window, Qt::white);
    palette.setColor(QPalette::Base, Qt::white);
    palette.setColor(QPalette::Text, Qt::black);
    gallery.setPalette(palette);
    gallery.resize(460, 260);

    // Row 1: the pill at rest without and with a menu, under the mouse, pressed.
    QFont font;
    font.setPixelSize(13);
    QMenu menu;
    menu.addAction("Search");
    QList<DisplayButton*> pills;
    for (int i = 0; i < 4; ++i) {
        auto* b = new DisplayButton(200 + i, &gallery);
        b->setAttributedTitle(AttributedText("Artist", font));
        b->setButtonColor(QColor(0, 0, 0));
        b->setGeometry(QRect(QPoint(10 + i * 100, 10), b->sizeHint()));
        pills << b;
    }
    pills[1]->setPopupMenu(&menu);
    // Row 2: presets normal and selected, and one too narrow for its title.
    auto* normal = new PresetButton(1, &gallery);
    normal->setText("Jazz");
    normal->setGeometry(10, 50, 80, 22);
    auto* selected = new PresetButton(2, &gallery);
    selected->setText("Rock");
    selected->setChecked(true);
    selected->setGeometry(100, 50, 80, 22);
    auto* narrow = new PresetButton(3, &gallery);
    narrow->setText("A very long preset title");
    narrow->setGeometry(190, 50, 40, 22);
    // Row 3: station rows with descriptions at one x, and a genre band.
    QStandardItemModel model(4, 1);
    const char* names[] = {"Alpha FM", "Rock", "Be", "Gamma Radio"};
    const char* descriptions[] = {"Dance hits", "Doubtful", "Downtempo", "Drum and bass"};
    for (int i = 0; i < 4; ++i) {
        auto* item = new QStandardItem(names[i]);
        item->setData(QString(descriptions[i]), ZYMItemRole::SecondaryText);
        item->setData(i == 1, ZYMItemRole::IsContainer);
        model.setItem(i, 0, item);
    }
    auto* table = new ExtendedTableView(&gallery);
    table->setModel(&model);
    table->setPalette(palette);
    table->horizontalHeader()->hide();
    table->horizontalHeader()->setStretchLastSection(true);
    table->verticalHeader()->setDefaultSectionSize(20);
    table->setFrameShape(QFrame::NoFrame);
    auto* cells = new DescriptiveOutlineDelegate(table);
    table->setItemDelegate(cells);
    table->setGeometry(10, 90, 300, 80);
    // The drag badge of three rows.
    QPoint badgeOffset;
    const QPixmap badge = ExtendedTableView::batchDragBadge(3, &badgeOffset);
    auto* badgeLabel = new QLabel(&gallery);
    badgeLabel->setPixmap(badge);
    badgeLabel->setGeometry(QRect(QPoint(330, 90), badge.size()));

    // Row 4: a search field holding text, and a display line with buttons and a warning.
    auto* search = new SearchTextField(&gallery);
    search->setGeometry(10, 190, 180, 24);
    search->setText("jazz");
    class Makes : public LineLayoutDelegate {
    public:
        QAbstractButton* createButtonWithTag(int tag) override { return new DisplayButton(tag); }
    } makes;
    auto* line = new LineLayoutView(&gallery);
    line->setDelegate(&makes);
    line->setGeometry(200, 188, 250, 30);
    line->setAttributedStringValue({{{TextRun{"Not signed on ", font, QColor()}, std::nullopt, QString()},
                                     {TextRun{" ", font, QColor()}, std::nullopt, "SmallGrayWarning"},
                                     {TextRun{"Sign On", font, QColor()}, 203, QString()}},
                                    Qt::AlignHCenter,
                                    true});

    gallery.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&gallery));
    table->setFocus();  // no pill shows its focus ring
    QEnterEvent enter(QPointF(3, 3), QPointF(3, 3), QPointF(3, 3));
    QApplication::sendEvent(pills[2], &enter);
    pills[3]->setDown(true);

    const QImage image = gallery.grab().toImage().convertToFormat(QImage::Format_RGB32);
    const QString dir = qEnvironmentVariable("ZYM_BINARY_DIR") + "/tests/app/ui";
    QDir().mkpath(dir);
    ASSERT_TRUE(image.save(dir + "/gallery.png"));

    // The pill: a fill that darkens with the state, a resting outline fainter with a
    // menu, a title that turns white under the mouse and when pressed.
    QList<int> fills, outlines;
    for (DisplayButton* b : pills) {
        const QRect g = b->geometry();
        fills << Brightness(image.pixelColor(g.left() + 3, g.center().y()));
        outlines << Brightness(image.pixelColor(g.center().x(), g.top()));
    }
    EXPECT_NEAR(fills[0], fills[1], 3);
    EXPECT_GT(fills[1], fills[2] + 40);
    EXPECT_GT(fills[2], fills[3] + 20);
    EXPECT_GT(outlines[1], outlines[0] + 40);
    for (int i = 0; i < 4; ++i) {
        SCOPED_TRACE(i);
        const QRect title = pills[i]->drawingRectForBounds(QRectF(pills[i]->geometry())).toRect();
        const int white = Count(image, title, [](QColor c) { return Brightness(c) > 230; });
        const int dark = Count(image, title, [](QColor c) { return Brightness(c) < 60; });
        if (i >= 2) {
            EXPECT_GT(white, 10);
        } else {
            EXPECT_GT(dark, 10);
        }
    }
    // The pill's ends are round: its corner pixel is background.
    EXPECT_TRUE(IsBackground(image.pixelColor(pills[0]->geometry().topLeft())));

    // Presets: grey at rest, blue when selected.
    const QColor rest = image.pixelColor(normal->geometry().center().x(), normal->geometry().top() + 4);
    const QColor chosen = image.pixelColor(selected->geometry().center().x(), selected->geometry().top() + 4);
    EXPECT_LT(std::abs(rest.red() - rest.blue()), 10);
    EXPECT_GT(chosen.blue(), chosen.red() + 60);
    // The long title stays inside its button.
    const QRect beyond(narrow->geometry().right() + 1, narrow->geometry().top(), 8, narrow->height());
    EXPECT_EQ(Count(image, beyond, [](QColor c) { return !IsBackground(c); }), 0);
    EXPECT_GT(Count(image, narrow->geometry().adjusted(8, 4, -8, -4), [](QColor c) { return Brightness(c) < 100; }), 5);

    // Descriptions start at one x for every station row; the genre row has a band and
    // no description.
    const int offset = int(cells->descriptionOffset());
    QList<int> starts;
    for (int row : {0, 2, 3}) {
        const QRect r =
            table->visualRect(model.index(row, 0)).translated(table->geometry().topLeft() + table->viewport()->pos());
        int first = -1;
        // (the genre band reaches one point into the row below it)
        for (int x = offset - 10; x < offset + 20 && first < 0; ++x)
            for (int y = r.top() + 2; y < r.bottom(); ++y)
                if (!IsBackground(image.pixelColor(table->geometry().left() + x, y))) {
                    first = x;
                    break;
                }
        starts << first;
        // Grey, not black.
        const QRect text(table->geometry().left() + offset, r.top(), 60, r.height());
        EXPECT_EQ(Count(image, text, [](QColor c) { return Brightness(c) < 40; }), 0);
        EXPECT_GT(Count(image, text, [](QColor c) { return Brightness(c) < 200; }), 10);
    }
    EXPECT_GE(starts[0], offset);
    EXPECT_EQ(starts[0], starts[1]);
    EXPECT_EQ(starts[0], starts[2]);
    const QRect band =
        table->visualRect(model.index(1, 0)).translated(table->geometry().topLeft() + table->viewport()->pos());
    const QColor bandColor = image.pixelColor(band.left() + 40, band.center().y() - 4);
    EXPECT_FALSE(IsBackground(bandColor));
    EXPECT_GT(bandColor.blue(), bandColor.red());
    EXPECT_EQ(Count(image, QRect(table->geometry().left() + offset, band.top() + 2, 80, band.height() - 4),
                    [](QColor c) { return Brightness(c) < 60; }),
              0);  // the description "Doubtful" is not drawn

    // The badge: a red oval with the white count over a translucent blue frame.
    const QRect badgeRect = badgeLabel->geometry();
    EXPECT_GT(Count(image, badgeRect, [](QColor c) { return c.red() > 200 && c.green() < 60 && c.blue() < 60; }), 60);
    EXPECT_GT(Count(image, badgeRect, [](QColor c) { return c.blue() > c.red() + 50; }), 100);
    EXPECT_GT(Count(image, badgeRect, [](QColor c) { return Brightness(c) > 240 && c.red() > 240; }), 5);
    EXPECT_EQ(badgeOffset, QPoint((badge.width() - 30) / 2, -8));

    // The search image at the left and the cancel button at the right of the field.
    const QRect field = search->geometry();
    EXPECT_GT(Count(image, QRect(field.left() + 2, field.top() + 4, 22, field.height() - 8),
                    [](QColor c) { return Brightness(c) < 140; }),
              8);
    EXPECT_GT(Count(image, QRect(field.right() - 24, field.top() + 4, 22, field.height() - 8),
                    [](QColor c) { return Brightness(c) < 180 && std::abs(c.red() - c.blue()) < 10; }),
              20);
    // The display line: centred as a whole, the grey warning between the text and the pill.
    const auto parts = line->lineSubviews();
    ASSERT_EQ(parts.size(), 3);
    const QRect warning = parts[1]->geometry().translated(line->pos());
    EXPECT_GT(Count(image, warning, [](QColor c) { return !IsBackground(c) && std::abs(c.red() - c.blue()) < 10; }),
              20);
    const int left = parts[0]->x(), right = line->width() - (parts[2]->x() + parts[2]->width());
    EXPECT_LE(std::abs(left - right), 1);
}
