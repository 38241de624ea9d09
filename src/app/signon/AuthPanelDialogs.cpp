#include "app/signon/AuthPanelDialogs.h"

#include "app/foundation/Localizer.h"
#include "app/foundation/ServiceLayerError.h"

#include <QCheckBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

QString Tr(const char* key, const char* english) {
    return Localizer::shared().text(QLatin1String(key), QLatin1String(english));
}

}  // namespace

AuthPanelDialogs::AuthPanelDialogs() = default;

AuthPanelDialogs::~AuthPanelDialogs() {
    if (model_) model_->unobserve(observation_);
    delete signOn_.data();
    delete securID_.data();
}

void AuthPanelDialogs::attach(CredentialsModel* model, AuthPanelsActions* actions) {
    if (model_) model_->unobserve(observation_);
    model_ = model;
    actions_ = actions;
    if (!model_) {
        hidePanel(Panel::SignOn);
        hidePanel(Panel::SecurID);
        return;
    }
    observation_ = model_->observe([this](CredentialsModel::Field field) { refresh(field); });
    build();
}

void AuthPanelDialogs::build() {
    if (!signOn_) {
        auto* dialog = new QDialog;
        dialog->setObjectName(QStringLiteral("SignOnPanel"));
        dialog->setWindowTitle(Tr("SignOnPanelTitle", "Sign On"));
        dialog->setMinimumWidth(360);
        auto* layout = new QVBoxLayout(dialog);
        auto* intro = new QLabel(Tr("SignOnPanelMessage", "Sign on with your screen name and password."), dialog);
        intro->setWordWrap(true);
        layout->addWidget(intro);
        auto* form = new QFormLayout;
        username_ = new QLineEdit(dialog);
        username_->setObjectName(QStringLiteral("username"));
        password_ = new QLineEdit(dialog);
        password_->setObjectName(QStringLiteral("password"));
        password_->setEchoMode(QLineEdit::Password);
        form->addRow(Tr("SignOnPanelScreenName", "Screen name:"), username_);
        form->addRow(Tr("SignOnPanelPassword", "Password:"), password_);
        layout->addLayout(form);
        keychain_ = new QCheckBox(Tr("SignOnPanelRememberPassword", "Remember password in keyring"), dialog);
        keychain_->setObjectName(QStringLiteral("keychain"));
        layout->addWidget(keychain_);
        auto* buttons = new QDialogButtonBox(dialog);
        signOnButton_ = buttons->addButton(Tr("SignOnPanelSignOn", "Sign On"), QDialogButtonBox::AcceptRole);
        signOnButton_->setObjectName(QStringLiteral("signOn"));
        signOnButton_->setDefault(true);
        signOnCancel_ = buttons->addButton(Tr("Cancel", "Cancel"), QDialogButtonBox::RejectRole);
        signOnCancel_->setObjectName(QStringLiteral("cancel"));
        layout->addWidget(buttons);

        QObject::connect(username_, &QLineEdit::textEdited, dialog, [this](const QString& text) {
            if (model_) Guarded("sign-on panel", [&] { model_->setUsername(text); });
        });
        QObject::connect(username_, &QLineEdit::editingFinished, dialog, [this] {
            if (!hiding_ && actions_) Guarded("sign-on panel", [&] { actions_->usernameChanged(); });
        });
        QObject::connect(password_, &QLineEdit::textEdited, dialog, [this](const QString& text) {
            if (model_) Guarded("sign-on panel", [&] { model_->setPassword(text); });
        });
        QObject::connect(keychain_, &QCheckBox::toggled, dialog, [this](bool on) {
            if (!updating_ && model_) Guarded("sign-on panel", [&] { model_->setKeepInKeychain(on); });
        });
        QObject::connect(signOnButton_, &QPushButton::clicked, dialog, [this] {
            if (actions_) Guarded("sign-on panel", [&] { actions_->authOK(); });
        });
        // Cancel, Escape and the window's close button.
        QObject::connect(dialog, &QDialog::rejected, dialog, [this] {
            if (!hiding_ && actions_) Guarded("sign-on panel", [&] { actions_->authCancel(); });
        });
        QObject::connect(signOnCancel_, &QPushButton::clicked, dialog, [dialog] { dialog->reject(); });
        signOn_ = dialog;
    }
    if (!securID_) {
        auto* dialog = new QDialog;
        dialog->setObjectName(QStringLiteral("SecurIDPanel"));
        dialog->setWindowTitle(Tr("SecurIDPanelTitle", "SecurID"));
        dialog->setMinimumWidth(360);
        auto* layout = new QVBoxLayout(dialog);
        auto* intro = new QLabel(Tr("SecurIDPanelMessage", "Enter the passcode your SecurID token shows."), dialog);
        intro->setWordWrap(true);
        layout->addWidget(intro);
        auto* form = new QFormLayout;
        passcode_ = new QLineEdit(dialog);
        passcode_->setObjectName(QStringLiteral("passcode"));
        passcode_->setEchoMode(QLineEdit::Password);
        form->addRow(Tr("SecurIDPanelPasscode", "Passcode:"), passcode_);
        layout->addLayout(form);
        auto* buttons = new QDialogButtonBox(dialog);
        securIDOK_ = buttons->addButton(Tr("OK", "OK"), QDialogButtonBox::AcceptRole);
        securIDOK_->setObjectName(QStringLiteral("ok"));
        securIDOK_->setDefault(true);
        securIDCancel_ = buttons->addButton(Tr("Cancel", "Cancel"), QDialogButtonBox::RejectRole);
        securIDCancel_->setObjectName(QStringLiteral("cancel"));
        layout->addWidget(buttons);

        QObject::connect(passcode_, &QLineEdit::textEdited, dialog, [this](const QString& text) {
            if (model_) Guarded("SecurID panel", [&] { model_->setSecurID(text); });
        });
        QObject::connect(securIDOK_, &QPushButton::clicked, dialog, [this] {
            if (actions_) Guarded("SecurID panel", [&] { actions_->securIDOK(); });
        });
        QObject::connect(dialog, &QDialog::rejected, dialog, [this] {
            if (!hiding_ && actions_) Guarded("SecurID panel", [&] { actions_->securIDCancel(); });
        });
        QObject::connect(securIDCancel_, &QPushButton::clicked, dialog, [dialog] { dialog->reject(); });
        securID_ = dialog;
    }
    for (auto field : {CredentialsModel::Field::Username, CredentialsModel::Field::Password,
                       CredentialsModel::Field::SecurID, CredentialsModel::Field::KeepInKeychain,
                       CredentialsModel::Field::SignOnEnabled, CredentialsModel::Field::SecurIDEnabled})
        refresh(field);
}

void AuthPanelDialogs::refresh(CredentialsModel::Field field) {
    if (!model_ || !signOn_ || !securID_) return;
    updating_ = true;
    auto setText = [](QLineEdit* edit, const QString& text) {
        if (edit->text() != text) edit->setText(text);
    };
    switch (field) {
    case CredentialsModel::Field::Username: setText(username_, model_->username()); break;
    case CredentialsModel::Field::Password: setText(password_, model_->password()); break;
    case CredentialsModel::Field::SecurID: setText(passcode_, model_->securID()); break;
    case CredentialsModel::Field::KeepInKeychain: keychain_->setChecked(model_->keepInKeychain()); break;
    case CredentialsModel::Field::SignOnEnabled: signOnButton_->setEnabled(model_->signOnEnabled()); break;
    case CredentialsModel::Field::SecurIDEnabled: passcode_->setEnabled(model_->securIDEnabled()); break;
    }
    updating_ = false;
}

void AuthPanelDialogs::place(QDialog* dialog, QWidget* parent) {
    QWidget* window = parent ? parent->window() : nullptr;
    if (dialog->parentWidget() != window) dialog->setParent(window, Qt::Dialog);
    if (window) {
        dialog->setWindowModality(Qt::WindowModal);
        dialog->open();
    } else {
        dialog->setWindowModality(Qt::NonModal);
        dialog->show();
        dialog->raise();
        dialog->activateWindow();
    }
}

void AuthPanelDialogs::showPanel(Panel panel, QWidget* parent) {
    build();  // again, should a parent window have taken a dialog with it
    QDialog* dialog = panel == Panel::SignOn ? signOn_.data() : securID_.data();
    QWidget* focus = dialog->focusWidget();
    place(dialog, parent);
    if (focus) focus->setFocus();
}

void AuthPanelDialogs::hidePanel(Panel panel) {
    QDialog* dialog = panel == Panel::SignOn ? signOn_.data() : securID_.data();
    if (!dialog) return;
    if (dialog->isVisible()) {
        hiding_ = true;
        dialog->hide();
        hiding_ = false;
    }
    // Free of the parent window again, so that closing that window leaves it alone.
    if (dialog->parentWidget()) dialog->setParent(nullptr, Qt::Dialog);
}

bool AuthPanelDialogs::isPanelVisible(Panel panel) const {
    QDialog* dialog = panel == Panel::SignOn ? signOn_.data() : securID_.data();
    return dialog && dialog->isVisible();
}

void AuthPanelDialogs::focusField(Field field) {
    build();
    QLineEdit* edit = field == Field::Username ? username_ : field == Field::Password ? password_ : passcode_;
    edit->setFocus(Qt::OtherFocusReason);
}
