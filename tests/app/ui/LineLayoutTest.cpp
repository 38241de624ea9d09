// The now-playing line: grouping of runs into subviews, alignment, truncation, vertical
// offsets and the key-view chain.

#include "app/ui/Buttons.h"
#include "app/ui/LineLayoutView.h"

#include "UiTestSupport.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QTest>
#include <QVBoxLayout>

namespace {

// A button of a fixed size, chosen by its tag (tag 200 + w: w points wide).
class FixedButton : public QPushButton {
public:
    FixedButton(int tag, QSize size) : tag(tag), size_(size) {}
    QSize sizeHint() const override { return size_; }
    int tag;

private:
    QSize size_;
};

class Delegate : public LineLayoutDelegate {
public:
    QMap<int, QSize> buttonSizes;
    bool displayButtons = false;
    QList<int> madeTags;
    QStringList madeImages;
    QAbstractButton* createButtonWithTag(int tag) override {
        madeTags << tag;
        if (displayButtons) return new DisplayButton(tag);
        return new FixedButton(tag, buttonSizes.value(tag, QSize(50, 20)));
    }
    QWidget* createImageWithName(const QString& name) override {
        madeImages << name;
        auto* w = new QWidget;
        w->resize(12, 12);
        return w;
    }
};

LineRun Plain(const QString& s) { return {TextRun{s, QFont(), QColor()}, std::nullopt, QString()}; }
LineRun Button(int tag, const QString& s) { return {TextRun{s, QFont(), QColor()}, tag, QString()}; }
LineRun Image(const QString& name) { return {TextRun{" ", QFont(), QColor()}, std::nullopt, name}; }

QStringList Kinds(const LineLayoutView& view) {
    QStringList kinds;
    for (QWidget* w : view.lineSubviews()) {
        if (auto* b = qobject_cast<QAbstractButton*>(w))
            kinds << "button:" + b->text();
        else if (auto* t = qobject_cast<LineTextView*>(w))
            kinds << "text:" + t->text().string();
        else
            kinds << "image";
    }
    return kinds;
}

}  // namespace

TEST(LineLayoutTest, RunsGroupIntoSubviews) {
    struct Case {
        const char* what;
        QList<LineRun> runs;
        QStringList kinds;
        QList<int> made;
    } cases[] = {
        {"two button runs of one tag make one button",
         {Plain("by "), Button(200, "Miles"), Button(200, " Davis")},
         {"text:by ", "button:Miles Davis"},
         {200}},
        {"two tags make two buttons",
         {Plain("by "), Button(200, "Miles"), Button(201, " Davis")},
         {"text:by ", "button:Miles", "button: Davis"},
         {200, 201}},
        {"plain runs join",
         {Plain("a"), Plain("b"), Button(202, "c"), Plain("d")},
         {"text:ab", "button:c", "text:d"},
         {202}},
        {"two images make two views", {Image("SmallGrayWarning"), Image("SmallGrayWarning")}, {"image", "image"}, {}},
        {"an image between buttons of one tag splits them",
         {Button(200, "x"), Image("w"), Button(200, "y")},
         {"button:x", "image", "button:y"},
         {200, 200}},
        {"empty", {}, {}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Delegate delegate;
        LineLayoutView view;
        view.resize(400, 30);
        view.setDelegate(&delegate);
        view.setAttributedStringValue({c.runs, Qt::AlignLeft, false});
        EXPECT_EQ(Kinds(view), c.kinds);
        EXPECT_EQ(delegate.madeTags, c.made);
    }
}

TEST(LineLayoutTest, AlignmentAndTruncation) {
    struct Case {
        const char* what;
        QList<int> widths;  // buttons of these widths, in order
        Qt::Alignment alignment;
        bool truncate;
        QList<int> xs, shownWidths;
    } cases[] = {
        {"left", {100, 50}, Qt::AlignLeft, false, {0, 100}, {100, 50}},
        {"centred, narrower than the view", {100, 50}, Qt::AlignHCenter, false, {75, 175}, {100, 50}},
        {"centred, wider: never below 0", {200, 201}, Qt::AlignHCenter, false, {0, 200}, {200, 201}},
        {"right, narrower", {100, 50}, Qt::AlignRight, false, {150, 250}, {100, 50}},
        {"right, wider: starts left of 0", {200, 201}, Qt::AlignRight, false, {-101, 99}, {200, 201}},
        {"tail truncation cuts the crossing view at the edge; those after it are placed beyond it and get no room",
         {200, 150, 60},
         Qt::AlignLeft,
         true,
         {0, 200, 350},
         {200, 100, 0}},
        {"without truncation nothing is cut", {200, 150}, Qt::AlignLeft, false, {0, 200}, {200, 150}},
        {"exactly the width: nothing cut", {200, 100}, Qt::AlignLeft, true, {0, 200}, {200, 100}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Delegate delegate;
        QList<LineRun> runs;
        for (int i = 0; i < c.widths.size(); ++i) {
            delegate.buttonSizes[200 + i] = QSize(c.widths[i], 20);
            runs << Button(200 + i, QString::number(i));
        }
        LineLayoutView view;
        view.resize(300, 30);
        view.setDelegate(&delegate);
        view.setAttributedStringValue({runs, c.alignment, c.truncate});
        QList<int> xs, widths;
        for (QWidget* w : view.lineSubviews()) {
            xs << w->x();
            widths << w->width();
        }
        EXPECT_EQ(xs, c.xs);
        EXPECT_EQ(widths, c.shownWidths);
    }
}

TEST(LineLayoutTest, ResizingLaysOutAgainAndOddAlignmentsAreLeft) {
    Delegate delegate;
    delegate.buttonSizes[200] = QSize(100, 20);
    LineLayoutView view;
    view.resize(300, 30);
    view.show();
    view.setDelegate(&delegate);
    view.setAttributedStringValue({{Button(200, "a")}, Qt::AlignHCenter, false});
    EXPECT_EQ(view.lineSubviews()[0]->x(), 100);
    view.resize(500, 30);
    EXPECT_EQ(view.lineSubviews()[0]->x(), 200);

    LogCapture log;
    view.setAttributedStringValue({{Button(200, "a")}, Qt::AlignJustify, false});
    EXPECT_EQ(view.lineSubviews()[0]->x(), 0);
    EXPECT_TRUE(log.lines.contains("Unsupported alignment"));
}

TEST(LineLayoutTest, VerticalOffsetsFromTheCommonBaseline) {
    Delegate delegate;
    delegate.displayButtons = true;
    LineLayoutView view;
    view.resize(400, 40);
    view.setDelegate(&delegate);
    QFont small;
    small.setPixelSize(10);
    LineRun text = Plain("by ");
    text.text.font = small;
    view.setAttributedStringValue({{text, Button(200, "Artist"), Image("SmallGrayWarning")}, Qt::AlignLeft, false});
    const auto views = view.lineSubviews();
    ASSERT_EQ(views.size(), 3);
    // Images keep their own size.
    EXPECT_EQ(views[2]->size(), QSize(12, 12));
    qreal baseline = 0;
    for (QWidget* w : views)
        baseline = std::max(baseline, LineLayoutView::baselineHeightOfView(w));
    for (QWidget* w : views)
        EXPECT_EQ(w->y(), qRound(baseline - LineLayoutView::baselineHeightOfView(w) + 2.0));
    // A display button's text starts 1 below its top.
    EXPECT_EQ(LineLayoutView::baselineHeightOfView(views[1]), views[1]->height() - 1);
    EXPECT_EQ(views[1]->y(), 2);
}

TEST(LineLayoutTest, TabRunsThroughTheButtonsToTheNextKeyView) {
    Delegate delegate;
    delegate.displayButtons = true;
    QWidget window;
    auto* layout = new QVBoxLayout(&window);
    auto* view = new LineLayoutView;
    view->setMinimumSize(400, 30);
    auto* next = new QLineEdit;
    layout->addWidget(view);
    layout->addWidget(next);
    view->setDelegate(&delegate);
    view->setNextKeyView(next);
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));

    for (int round = 0; round < 2; ++round) {  // the chain is rebuilt with the line
        SCOPED_TRACE(round);
        view->setAttributedStringValue(
            {{Button(201, "Song"), Plain(" by "), Button(200, "Artist"), Button(202, "Album")}, Qt::AlignLeft, false});
        QCoreApplication::processEvents();
        const auto views = view->lineSubviews();
        ASSERT_EQ(views.size(), 4);
        views[0]->setFocus();
        ASSERT_EQ(QApplication::focusWidget(), views[0]);
        QStringList order;
        for (int i = 0; i < 3; ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            QWidget* f = QApplication::focusWidget();
            order << (f == next                           ? "next"
                      : qobject_cast<QAbstractButton*>(f) ? qobject_cast<QAbstractButton*>(f)->text()
                                                          : "other");
        }
        EXPECT_EQ(order, (QStringList{"Artist", "Album", "next"}));
    }
}
