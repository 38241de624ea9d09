#pragma once

// The sign-on panels as real Qt dialogs: window-modal on a parent (QDialog::open) or
// free-standing windows. They show and edit the controller's CredentialsModel.

#include <QPointer>

#include <memory>

#include "app/signon/AuthenticationController.h"

class QCheckBox;
class QDialog;
class QLineEdit;
class QPushButton;

class AuthPanelDialogs : public AuthPanelsView {
public:
    AuthPanelDialogs();
    ~AuthPanelDialogs() override;

    void attach(CredentialsModel* model, AuthPanelsActions* actions) override;
    void showPanel(Panel panel, QWidget* parent) override;
    void hidePanel(Panel panel) override;
    bool isPanelVisible(Panel panel) const override;
    void focusField(Field field) override;

    // The widgets, for tests and screenshots; null before attach.
    QDialog* signOnPanel() const { return signOn_; }
    QDialog* securIDPanel() const { return securID_; }
    QLineEdit* usernameField() const { return username_; }
    QLineEdit* passwordField() const { return password_; }
    QLineEdit* securIDField() const { return passcode_; }
    QCheckBox* keychainCheckbox() const { return keychain_; }
    QPushButton* signOnButton() const { return signOnButton_; }
    QPushButton* signOnCancelButton() const { return signOnCancel_; }
    QPushButton* securIDOKButton() const { return securIDOK_; }
    QPushButton* securIDCancelButton() const { return securIDCancel_; }

private:
    void build();
    void place(QDialog* dialog, QWidget* parent);
    void refresh(CredentialsModel::Field field);

    CredentialsModel* model_ = nullptr;
    AuthPanelsActions* actions_ = nullptr;
    int observation_ = 0;
    bool updating_ = false;
    // Set while the controller hides a panel, so that its closing is no Cancel click.
    bool hiding_ = false;
    QPointer<QDialog> signOn_, securID_;
    QLineEdit* username_ = nullptr;
    QLineEdit* password_ = nullptr;
    QLineEdit* passcode_ = nullptr;
    QCheckBox* keychain_ = nullptr;
    QPushButton* signOnButton_ = nullptr;
    QPushButton* signOnCancel_ = nullptr;
    QPushButton* securIDOK_ = nullptr;
    QPushButton* securIDCancel_ = nullptr;
};
