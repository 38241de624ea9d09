#pragma once
// One line of the now-playing display: a string in runs, some of which are buttons (by
// tag) or images (by name), laid out as one subview per group of runs, left to right on
// a common baseline and aligned as a whole.

#include "app/ui/AttributedText.h"

#include <QList>
#include <QPointer>
#include <QWidget>

#include <optional>

class QAbstractButton;

struct LineRun {
    TextRun text;
    std::optional<int> buttonTag;  // a button run with this tag
    QString imageName;             // an image run (its text is a single space)
};

struct LineString {
    QList<LineRun> runs;
    Qt::Alignment alignment = Qt::AlignLeft;  // AlignLeft, AlignRight or AlignHCenter
    bool truncateTail = false;                // else the line is clipped
    bool isEmpty() const { return runs.isEmpty(); }
};

// Makes the line's buttons and images; both are optional (null: the view makes a plain
// one).
class LineLayoutDelegate {
public:
    virtual ~LineLayoutDelegate() = default;
    virtual QAbstractButton* createButtonWithTag(int) { return nullptr; }
    virtual QWidget* createImageWithName(const QString&) { return nullptr; }
};

// A text subview of the line: the runs drawn as one line.
class LineTextView : public QWidget {
    Q_OBJECT
public:
    explicit LineTextView(const AttributedText& text, QWidget* parent = nullptr);
    void append(const AttributedText& text);
    const AttributedText& text() const { return text_; }
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent*) override;

private:
    AttributedText text_;
};

class LineLayoutView : public QWidget {
    Q_OBJECT
public:
    explicit LineLayoutView(QWidget* parent = nullptr);

    void setDelegate(LineLayoutDelegate* delegate) { delegate_ = delegate; }
    // The widget Tab reaches after the line's last focusable subview.
    void setNextKeyView(QWidget* next) { nextKeyView_ = next; }

    void setAttributedStringValue(const LineString& value);
    const LineString& attributedStringValue() const { return value_; }

    // The subviews in line order.
    QList<QWidget*> lineSubviews() const { return subviews_; }
    // A subview's height minus the top of its text area (an image's whole height).
    static qreal baselineHeightOfView(const QWidget* view);

    void repositionSubviews();

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void recreateSubviews();
    void fixKeyboardLoop();

    LineLayoutDelegate* delegate_ = nullptr;
    QPointer<QWidget> nextKeyView_;
    LineString value_;
    QList<QWidget*> subviews_;
};
