// Small things a listener sees in the main window: the search term in the source list,
// the empty source list, the live banner at the display's edge.

#include <QLineEdit>
#include <QScrollBar>
#include <QTest>

#include "WindowPartsFixture.h"
#include "app/ui/DisplayTexts.h"
#include "app/ui/LocalizedText.h"
#include "app/ui/NowPlayingDisplay.h"
#include "app/ui/TextFields.h"

namespace windowtest {
namespace {

class WindowDetails : public WindowTest {
protected:
    ExtendedOutlineView* Sources() { return window_->window()->findChild<ExtendedOutlineView*>(); }
    void Show(QSize size = QSize(640, 520)) {
        QWidget* top = window_->window();
        top->resize(size);
        top->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(top));
    }
};

TEST_F(WindowDetails, TheEmptySourceListHasNoHorizontalScrollBar) {
    reachable_ = false;
    Make();
    Show();
    ExtendedOutlineView* sources = Sources();
    ASSERT_TRUE(sources);
    EXPECT_EQ(sources->model()->rowCount(), 0);
    sources->grab().save(QCoreApplication::applicationDirPath() + "/sources-empty.png");
    EXPECT_FALSE(sources->horizontalScrollBar()->isVisible());
}

// A term too long for the row is shortened with an ellipsis inside the row, never cut
// through a letter at its edge.
TEST_F(WindowDetails, ALongSearchTermEndsInAnEllipsis) {
    SignOnAndLoad();
    Show();
    auto* search = window_->window()->findChild<QLineEdit*>();
    ASSERT_TRUE(search);
    QTest::keyClicks(search, QString(40, QLatin1Char('W')));
    ExtendedOutlineView* sources = Sources();
    ASSERT_TRUE(RunUntil([&] { return sources->selectionModel()->hasSelection(); }));
    const QModelIndex row = sources->selectionModel()->selectedRows().value(0);
    ASSERT_FALSE(row.data(ZYMItemRole::SecondaryText).toString().isEmpty());
    sources->clearFocus();
    const QImage shot = sources->viewport()->grab().toImage();
    shot.save(QCoreApplication::applicationDirPath() + "/sources-long-term.png");
    const QRect r = sources->visualRect(row);
    // The row's own ground, far from any text, against ink: the last inked column.
    const QRgb ground = shot.pixel(r.right() - 1, r.top() + 1);
    int lastInk = -1;
    for (int x = r.left(); x <= r.right(); ++x)
        for (int y = r.top() + 1; y < r.bottom(); ++y)
            if (std::abs(qGray(shot.pixel(x, y)) - qGray(ground)) > 60) lastInk = std::max(lastInk, x);
    ASSERT_GT(lastInk, r.left() + r.width() / 2) << "the term is drawn";
    // The cell's text ends a few pixels inside the row: a cut letter would touch that edge.
    QStyleOptionViewItem option;
    option.initFrom(sources->viewport());
    option.rect = r;
    option.features = QStyleOptionViewItem::HasDisplay | QStyleOptionViewItem::HasDecoration;
    option.text = row.data(Qt::DisplayRole).toString();
    option.decorationSize = sources->iconSize();
    const QRect text = sources->style()->subElementRect(QStyle::SE_ItemViewItemText, &option, sources);
    ASSERT_GT(text.right(), r.left());
    EXPECT_LT(lastInk, text.right() - 1) << "ink up to the edge: a letter cut through";
}

// The banner's widest frame fits the song-time label at the display's right, whatever
// the window's width.
TEST_F(WindowDetails, TheLiveBannerIsNeverCut) {
    Make();
    Show(QSize(300, 520));
    NowPlayingDisplay& panel = window_->display();
    ClickableTextField* label = panel.songTimeLabel();
    for (const char* text : {"LIVE \u00B7", "LIVE \u2022", "LIVE \u25CF", "--:-- / 00:00", "75:00 / 75:00"}) {
        SCOPED_TRACE(text);
        label->setText(QString::fromUtf8(text));
        QCoreApplication::processEvents();
        panel.grab().save(QCoreApplication::applicationDirPath() + "/display-narrow-banner.png");
        const QRect shown(label->mapTo(&panel, QPoint(0, 0)), label->size());
        EXPECT_GE(label->width(), label->fontMetrics().horizontalAdvance(label->text())) << label->width();
        EXPECT_TRUE(panel.rect().adjusted(2, 2, -2, -2).contains(shown)) << shown.x() << "+" << shown.width();
    }
    // The frames are a pulse, not letters: "LIVE o" read as a word cut short. Each must be
    // drawn by the label's font, not as a missing-glyph box.
    for (const QChar frame : localized(DisplayKeys::LiveStationAnimationFrames)) {
        EXPECT_FALSE(frame.isLetterOrNumber()) << int(frame.unicode());
        EXPECT_TRUE(label->fontMetrics().inFont(frame)) << int(frame.unicode());
    }
}

}  // namespace
}  // namespace windowtest
