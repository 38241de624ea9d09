#pragma once

// Alerts and sheets go through a presenter, so the logic that shows them is tested
// without modal loops. The answer always arrives later, from the event loop.

#include <QString>
#include <QStringList>

#include <functional>
#include <vector>

class QWidget;

struct DialogRequest {
    enum class Style { Informational, Warning, Critical };
    Style style = Style::Warning;
    QString title;
    QString messageText;      // the bold first line
    QString informativeText;  // the smaller text below it
    QStringList buttons;      // right to left as NSAlert orders them; empty: one "OK"
};

class DialogPresenter {
public:
    virtual ~DialogPresenter() = default;
    // The index of the button chosen (0 first), or -1 when the dialog was dismissed
    // otherwise. A null parent shows a free-standing dialog.
    using Completion = std::function<void(int button)>;
    virtual void present(const DialogRequest& request, QWidget* parent, Completion completion) = 0;

    static DialogPresenter& main();
};

// QMessageBox::open: window-modal on a parent, application-modal without one; the
// completion runs inside the event-loop guard.
class MessageBoxPresenter : public DialogPresenter {
public:
    void present(const DialogRequest& request, QWidget* parent, Completion completion) override;
};

// Records every request; the test answers them.
class RecordingDialogPresenter : public DialogPresenter {
public:
    struct Shown {
        DialogRequest request;
        QWidget* parent = nullptr;
        Completion completion;
        bool answered = false;
    };
    void present(const DialogRequest& request, QWidget* parent, Completion completion) override;

    // Answers the oldest unanswered dialog; false when none waits.
    bool answer(int button);
    int waiting() const;
    std::vector<Shown> shown;
};
