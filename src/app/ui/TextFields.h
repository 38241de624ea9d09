#pragma once
// Small text controls: the station search field, a label that clears itself, a label
// with a soft shadow and a label that acts when clicked.

#include <QLabel>
#include <QLineEdit>

#include <memory>

class QAction;
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

// A label whose text clears itself `delay` seconds after it was last set to a non-empty
// text; a new text restarts the wait.
class TemporaryTextField : public QLabel {
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
