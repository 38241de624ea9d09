#pragma once

// The two sign-on panels (screen name, password, a "keep in keyring" checkbox and a
// sign-on button; and one SecurID passcode field), window-modal on a parent window or
// free-standing, the alerts of a failed sign-on or discovery, the last screen name in
// the user defaults ("screenname") and the password in the keyring. Every button goes
// to the delegate (the generic service).
//
// The logic lives here; the panels are an AuthPanelsView (real dialogs, or a fake in
// tests) that shows and edits one CredentialsModel the controller shares with it.
// Main thread only.

#include <QPointer>
#include <QString>

#include <functional>
#include <memory>
#include <utility>
#include <vector>

class DialogPresenter;
class QWidget;
class Localizer;
class PasswordStore;
class UserDefaults;

inline constexpr const char* kScreenNameDefaultsKey = "screenname";

// What the panels show; the view writes the user's edits into it, the controller its
// own changes. Observers hear every change that altered a value, after it was set, in
// the order they were added.
class CredentialsModel {
public:
    enum class Field { Username, Password, SecurID, KeepInKeychain, SignOnEnabled, SecurIDEnabled };

    const QString& username() const { return username_; }
    const QString& password() const { return password_; }
    const QString& securID() const { return securID_; }
    bool keepInKeychain() const { return keepInKeychain_; }
    bool signOnEnabled() const { return signOnEnabled_; }
    bool securIDEnabled() const { return securIDEnabled_; }

    void setUsername(const QString& v);
    void setPassword(const QString& v);
    void setSecurID(const QString& v);
    void setKeepInKeychain(bool v);
    void setSignOnEnabled(bool v);
    void setSecurIDEnabled(bool v);

    using Observer = std::function<void(Field)>;
    // A handle for unobserve.
    int observe(Observer observer);
    void unobserve(int handle);

private:
    void notify(Field field);
    std::vector<std::pair<int, Observer>> observers_;
    int nextHandle_ = 1;
    QString username_, password_, securID_;
    bool keepInKeychain_ = false;
    bool signOnEnabled_ = false;
    bool securIDEnabled_ = false;
};

// The panels' buttons and the name field's action, as the view reports them.
class AuthPanelsActions {
public:
    virtual void authOK() = 0;
    virtual void authCancel() = 0;
    virtual void securIDOK() = 0;
    virtual void securIDCancel() = 0;
    // The user finished editing the screen name (return, or leaving the field).
    virtual void usernameChanged() = 0;

protected:
    ~AuthPanelsActions() = default;
};

class AuthPanelsView {
public:
    enum class Panel { SignOn, SecurID };
    enum class Field { Username, Password, SecurID };

    virtual ~AuthPanelsView() = default;
    // Called by the controller when it is made, and with two nulls when it goes (the view
    // outlives its controller).
    virtual void attach(CredentialsModel* model, AuthPanelsActions* actions) = 0;
    // Window-modal on `parent`, or a free-standing window without one. Only called for a
    // panel that is not visible.
    virtual void showPanel(Panel panel, QWidget* parent) = 0;
    virtual void hidePanel(Panel panel) = 0;
    virtual bool isPanelVisible(Panel panel) const = 0;
    virtual void focusField(Field field) = 0;
};

class AuthenticationController;

class AuthenticationControllerDelegate {
public:
    virtual void authenticationControllerOKButtonClicked(AuthenticationController& controller) = 0;
    virtual void authenticationControllerCancelButtonClicked(AuthenticationController& controller) = 0;
    virtual void authenticationControllerSecurIDOKButtonClicked(AuthenticationController& controller) = 0;
    virtual void authenticationControllerSecurIDCancelButtonClicked(AuthenticationController& controller) = 0;

protected:
    ~AuthenticationControllerDelegate() = default;
};

// What the controller works with; a null entry means the application's own.
struct AuthenticationEnvironment {
    PasswordStore* passwords = nullptr;
    UserDefaults* defaults = nullptr;
    DialogPresenter* presenter = nullptr;
    Localizer* localizer = nullptr;
};

class AuthenticationController final : public AuthPanelsActions {
public:
    // Fills the screen name from the defaults and its password from the keyring (read on
    // the keyring's thread, taken when first needed); the checkbox starts on,
    // display-after-failure on, not sticky, not busy.
    AuthenticationController(const QString& keychainServiceName, AuthPanelsView& view,
                             AuthenticationEnvironment environment = {});
    ~AuthenticationController();
    AuthenticationController(const AuthenticationController&) = delete;
    AuthenticationController& operator=(const AuthenticationController&) = delete;

    // Puts the name in and refills its password from the keyring.
    void setScreenName(const QString& name);
    void setDelegate(AuthenticationControllerDelegate* delegate) { delegate_ = delegate; }
    AuthenticationControllerDelegate* delegate() const { return delegate_; }
    // Panels and alerts are window-modal on it while it is visible, else free-standing.
    void setParentWindow(QWidget* parent);
    QWidget* parentWindow() const;
    void setDisplayAuthPanelOnFailure(bool on) { displayAuthPanelAfterFailure_ = on; }
    void setAuthPanelSticky(bool on) { authPanelSticky_ = on; }
    void setAuthenticationBusy(bool busy) { busy_ = busy; }
    bool isBusy() const { return busy_; }
    const QString& keychainService() const { return keychainService_; }

    QString username() const;
    QString password() const;
    QString securID() const;
    // The model with the keyring's password in.
    CredentialsModel& model();

    // Sticky, or no screen name, or the keyring has no non-empty password for it.
    bool authPanelNeedsToBeDisplayed();
    // Sticky, or no screen name, or no password.
    bool willPromptUserWithPanel() const;
    // Runs `then` once the keyring has answered for the screen name's password (or its
    // wait has timed out): at once when no read is under way, else later from the event
    // loop, which goes on meanwhile. Not at all once the controller is gone.
    void whenKeychainAnswered(std::function<void()> then);
    void displayAuthPanel();
    void displaySecurIDPanel();
    void dismissAuthPanel();
    void dismissSecurIDPanel();
    bool isAuthPanelVisible() const;
    bool isSecurIDPanelVisible() const;

    // The screen name to the defaults (a non-empty one), the password to the keyring
    // when the checkbox is on (a non-empty one).
    void storeAuthCredentials();
    // Empties the password field; the keyring is not touched.
    void clearAuthCredentials();
    // The screen name from the defaults, then its password from the keyring.
    void refresh();

    // A critical alert (title "AuthenticationFailureTitle" / "DiscoveryFailureTitle", one
    // "OK" button) on the parent window when it is visible, else free-standing; the
    // sign-on panel comes back after it when display-after-failure is on.
    void displayAuthFailedPanel(const QString& message);
    void displayDiscoveryFailedPanel(const QString& message);
    void revealSecurIDField(bool focus);

    // AuthPanelsActions. Each button dismisses its panel, then tells the delegate
    // (ServiceLayerError "Auth Controller missing delegate" without one).
    void authOK() override;
    void authCancel() override;
    void securIDOK() override;
    void securIDCancel() override;
    void usernameChanged() override;

private:
    void startFillFromKeychain();
    void ensureFieldsFilled() const;
    void fillFieldsFromKeychain();
    void loadScreennameFromDefaults();
    void saveFieldsToKeychain();
    void saveScreennameToDefaults();
    void updateSignOnButton();
    void displayFailure(const char* titleKey, const QString& message);
    QWidget* visibleParent() const;
    void requireDelegate() const;

    QString keychainService_;
    AuthPanelsView& view_;
    AuthenticationEnvironment env_;
    CredentialsModel model_;
    AuthenticationControllerDelegate* delegate_ = nullptr;
    QPointer<QWidget> parent_;
    bool busy_ = false;
    bool displayAuthPanelAfterFailure_ = true;
    bool authPanelSticky_ = false;
    bool fillPending_ = false;  // the password's read is under way
    int observation_ = 0;
    std::shared_ptr<int> alive_;
};

// A view without widgets: records what the controller asked and lets the test press
// the buttons.
class FakeAuthPanelsView : public AuthPanelsView {
public:
    void attach(CredentialsModel* model, AuthPanelsActions* actions) override;
    void showPanel(Panel panel, QWidget* parent) override;
    void hidePanel(Panel panel) override;
    bool isPanelVisible(Panel panel) const override;
    void focusField(Field field) override;

    CredentialsModel* model = nullptr;
    AuthPanelsActions* actions = nullptr;
    bool signOnVisible = false;
    bool securIDVisible = false;
    QWidget* lastParent = nullptr;
    Field focused = Field::Username;
    std::vector<Panel> shows;  // every showPanel, in order
};
