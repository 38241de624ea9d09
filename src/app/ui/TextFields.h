#pragma once
// Small text controls: the station search field, a label that clears itself, a label
// with a soft shadow and a label that acts when clicked.

#include <QLabel>
#include <QLineEdit>
#include <QTextBrowser>

#include <memory>

class QAction;
class QPaintEvent;
class ScheduledTimer;
class Scheduler;

// A search field: the search image at the left, a grey placeholder while empty, and a
// cancel button at the right while it holds text. The cancel button empties the field,
// which is one textChanged("") for the listener. The room of the cancel button is kept
// free of text even while the button is hidden.
class SearchTextField : public QLineEdit {
    Q_OBJECT
public:
    explicit SearchTextField(QWidget* parent = nullptr);
    QAction* cancelAction() const { return cancel_; }
    QAction* searchAction() const { return search_; }
    bool isCancelButtonShown() const;

private:
    void updateCancel();
    QAction* search_;
    QAction* cancel_;
};

// A one-line label that shortens its text with an ellipsis to the width it has, at the
// head, middle or tail, again at every size, so a letter is never cut at its edge;
// text() and stringValue() stay the whole text.
class TruncatingTextField : public QLabel {
    Q_OBJECT
public:
    explicit TruncatingTextField(QWidget* parent = nullptr);
    void setStringValue(const QString& s) { setText(s); }
    QString stringValue() const { return text(); }
    void setTruncationPosition(int position);
    // The text as drawn at the current width.
    QString shownText() const;
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent*) override;

private:
    int position_;
};

// A label whose text clears itself `delay` seconds after it was last set to a non-empty
// text; a new text restarts the wait. A text too long for it ends in an ellipsis.
class TemporaryTextField : public TruncatingTextField {
    Q_OBJECT
public:
    explicit TemporaryTextField(Scheduler& scheduler, QWidget* parent = nullptr);
    ~TemporaryTextField() override;
    void setDelay(double seconds) { delay_ = seconds; }
    double delay() const { return delay_; }
    void setStringValue(const QString& text);

private:
    Scheduler& scheduler_;
    double delay_ = 0;
    std::unique_ptr<ScheduledTimer> timer_;
};

// A label drawn with a soft black shadow below and right of the text.
class ShadowTextField : public QLabel {
    Q_OBJECT
public:
    explicit ShadowTextField(QWidget* parent = nullptr);
};

// A read-only label that emits clicked when pressed, unless it is selectable, editable
// or disabled.
class ClickableTextField : public QLabel {
    Q_OBJECT
public:
    explicit ClickableTextField(QWidget* parent = nullptr) : QLabel(parent) {}

signals:
    void clicked();

protected:
    void mousePressEvent(QMouseEvent* event) override;
};

// A read-only text view that shows its links with the pointing hand and opens them
// outside; `setTransparent` drops its background (and its scroll area's).
class TextViewWithLinks : public QTextBrowser {
    Q_OBJECT
public:
    explicit TextViewWithLinks(QWidget* parent = nullptr);
    void setTransparent(bool transparent);
};

// A read-only, selectable text view whose whole text takes one set of default
// attributes: the small system font, centred, one line cut at the tail unless changed.
class SimpleTextView : public QTextBrowser {
    Q_OBJECT
public:
    explicit SimpleTextView(QWidget* parent = nullptr);
    void setTransparent(bool transparent);
    void setDefaultFont(const QFont& font);
    void setDefaultAlignment(Qt::Alignment alignment);
    // Texts are cut at the tail (else they wrap).
    void setDefaultTruncatesTail(bool truncates);
    // The text with the default attributes.
    void setStringValue(const QString& text);
    // Rich text shown as given.
    void setHtmlValue(const QString& html);

private:
    void updateStringWithAttributes();
    QString plain_;
    bool isPlain_ = true;
    Qt::Alignment alignment_ = Qt::AlignHCenter;
    bool truncatesTail_ = true;
};
