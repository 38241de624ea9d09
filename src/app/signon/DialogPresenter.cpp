#include "app/signon/DialogPresenter.h"

#include "app/foundation/ServiceLayerError.h"

#include <QAbstractButton>
#include <QGridLayout>
#include <QMessageBox>
#include <QPushButton>
#include <QSpacerItem>

#include <algorithm>
#include <memory>

namespace {
// An alert is at least as wide as a desktop alert, so its texts take a line or two, and
// wide enough that the window manager need not cut its title.
constexpr int kAlertMinimumWidth = 420;
constexpr int kTitleBarRoom = 160;  // the window manager's buttons and margins

void setMinimumAlertWidth(QMessageBox* box, const QString& title) {
    // QMessageBox sizes itself from its layout whenever it is shown; a spacer across the
    // grid is the width it keeps.
    auto* grid = qobject_cast<QGridLayout*>(box->layout());
    if (!grid) return;
    const int width = std::max(kAlertMinimumWidth, box->fontMetrics().horizontalAdvance(title) + kTitleBarRoom);
    grid->addItem(new QSpacerItem(width, 0, QSizePolicy::Minimum, QSizePolicy::Fixed), grid->rowCount(), 0, 1,
                  grid->columnCount());
}
}  // namespace

DialogPresenter& DialogPresenter::main() {
    static MessageBoxPresenter presenter;
    return presenter;
}

void MessageBoxPresenter::present(const DialogRequest& request, QWidget* parent, Completion completion) {
    auto* box = new QMessageBox(parent);
    box->setAttribute(Qt::WA_DeleteOnClose);
    switch (request.style) {
    case DialogRequest::Style::Informational: box->setIcon(QMessageBox::Information); break;
    case DialogRequest::Style::Warning: box->setIcon(QMessageBox::Warning); break;
    case DialogRequest::Style::Critical: box->setIcon(QMessageBox::Critical); break;
    }
    if (!request.title.isEmpty()) box->setWindowTitle(request.title);
    box->setText(request.messageText);
    box->setInformativeText(request.informativeText);
    const QStringList titles = request.buttons.isEmpty() ? QStringList{QStringLiteral("OK")} : request.buttons;
    auto buttons = std::make_shared<std::vector<QAbstractButton*>>();
    for (int i = 0; i < titles.size(); ++i) {
        // The first button is the default one, as in an alert.
        QPushButton* b = box->addButton(titles[i], i == 0 ? QMessageBox::AcceptRole : QMessageBox::RejectRole);
        if (i == 0) box->setDefaultButton(b);
        buttons->push_back(b);
    }
    QObject::connect(box, &QMessageBox::finished, box, [box, buttons, completion](int) {
        int chosen = -1;
        QAbstractButton* clicked = box->clickedButton();
        for (size_t i = 0; i < buttons->size(); ++i)
            if ((*buttons)[i] == clicked) chosen = int(i);
        if (completion) Guarded("dialog completion", [&] { completion(chosen); });
    });
    box->setWindowModality(parent ? Qt::WindowModal : Qt::ApplicationModal);
    setMinimumAlertWidth(box, request.title);
    box->open();
}

void RecordingDialogPresenter::present(const DialogRequest& request, QWidget* parent, Completion completion) {
    shown.push_back(Shown{request, parent, std::move(completion), false});
}

bool RecordingDialogPresenter::answer(int button) {
    for (size_t i = 0; i < shown.size(); ++i) {
        if (shown[i].answered) continue;
        shown[i].answered = true;
        // The completion may present again (and grow the list): call a copy.
        Completion completion = shown[i].completion;
        if (completion) Guarded("dialog completion", [&] { completion(button); });
        return true;
    }
    return false;
}

int RecordingDialogPresenter::waiting() const {
    int n = 0;
    for (const Shown& s : shown)
        n += !s.answered;
    return n;
}
