#include "app/signon/AuthenticationController.h"

#include "app/signon/DialogPresenter.h"
#include "app/foundation/Localizer.h"
#include "app/signon/PasswordStore.h"
#include "app/foundation/ServiceLayerError.h"
#include "app/foundation/UserDefaults.h"

#include <QTimer>
#include <QWidget>

#include <algorithm>

// ---- CredentialsModel ----

int CredentialsModel::observe(Observer observer) {
    const int handle = nextHandle_++;
    observers_.emplace_back(handle, std::move(observer));
    return handle;
}

void CredentialsModel::unobserve(int handle) {
    std::erase_if(observers_, [handle](const auto& o) { return o.first == handle; });
}

void CredentialsModel::notify(Field field) {
    const auto copy = observers_;
    for (const auto& [handle, observer] : copy) {
        const bool still =
            std::any_of(observers_.begin(), observers_.end(), [h = handle](const auto& o) { return o.first == h; });
        if (still && observer) observer(field);
    }
}

#define ZYM_MODEL_SETTER(Name, member, Type, FieldName) \
    void CredentialsModel::Name(Type v) {               \
        if (member == v) return;                        \
        member = v;                                     \
        notify(Field::FieldName);                       \
    }
ZYM_MODEL_SETTER(setUsername, username_, const QString&, Username)
ZYM_MODEL_SETTER(setPassword, password_, const QString&, Password)
ZYM_MODEL_SETTER(setSecurID, securID_, const QString&, SecurID)
ZYM_MODEL_SETTER(setKeepInKeychain, keepInKeychain_, bool, KeepInKeychain)
ZYM_MODEL_SETTER(setSignOnEnabled, signOnEnabled_, bool, SignOnEnabled)
ZYM_MODEL_SETTER(setSecurIDEnabled, securIDEnabled_, bool, SecurIDEnabled)
#undef ZYM_MODEL_SETTER

// ---- AuthenticationController ----

namespace {

PasswordStore& Passwords(const AuthenticationEnvironment& e) {
    return e.passwords ? *e.passwords : PasswordStore::system();
}
UserDefaults& Defaults(const AuthenticationEnvironment& e) {
    return e.defaults ? *e.defaults : UserDefaults::standardUserDefaults();
}
DialogPresenter& Presenter(const AuthenticationEnvironment& e) {
    return e.presenter ? *e.presenter : DialogPresenter::main();
}
Localizer& Texts(const AuthenticationEnvironment& e) { return e.localizer ? *e.localizer : Localizer::shared(); }

}  // namespace

AuthenticationController::AuthenticationController(const QString& keychainServiceName, AuthPanelsView& view,
                                                   AuthenticationEnvironment environment)
    : keychainService_(keychainServiceName), view_(view), env_(environment), alive_(std::make_shared<int>(0)) {
    view_.attach(&model_, this);
    observation_ = model_.observe([this](CredentialsModel::Field field) {
        // A password put in meanwhile wins over the keyring's answer still to be taken.
        if (field == CredentialsModel::Field::Password) fillPending_ = false;
        if (field == CredentialsModel::Field::Username || field == CredentialsModel::Field::Password)
            updateSignOnButton();
    });
    model_.setKeepInKeychain(true);
    loadScreennameFromDefaults();
    startFillFromKeychain();
}

AuthenticationController::~AuthenticationController() {
    model_.unobserve(observation_);
    view_.attach(nullptr, nullptr);
}

void AuthenticationController::setParentWindow(QWidget* parent) { parent_ = parent; }

QWidget* AuthenticationController::parentWindow() const { return parent_; }

void AuthenticationController::setScreenName(const QString& name) {
    model_.setUsername(name);
    startFillFromKeychain();
}

CredentialsModel& AuthenticationController::model() {
    ensureFieldsFilled();
    return model_;
}

QString AuthenticationController::username() const { return model_.username(); }
QString AuthenticationController::password() const {
    ensureFieldsFilled();
    return model_.password();
}
QString AuthenticationController::securID() const { return model_.securID(); }

bool AuthenticationController::authPanelNeedsToBeDisplayed() {
    if (authPanelSticky_ || model_.username().isEmpty()) return true;
    // One answer of the keyring serves the question and the password field alike.
    if (fillPending_) {
        fillFieldsFromKeychain();
        return model_.password().isEmpty();
    }
    const std::optional<QString> stored =
        KeychainUtils::passwordForScreenName(Passwords(env_), model_.username(), keychainService_);
    return !stored || stored->isEmpty();
}

bool AuthenticationController::willPromptUserWithPanel() const {
    ensureFieldsFilled();
    return authPanelSticky_ || model_.username().isEmpty() || model_.password().isEmpty();
}

void AuthenticationController::whenKeychainAnswered(std::function<void()> then) {
    const QString account = KeychainUtils::canonicalScreenName(model_.username());
    if (!fillPending_ || account.isEmpty()) {
        then();
        return;
    }
    std::weak_ptr<int> alive = alive_;
    Passwords(env_).whenPrefetchAnswered(keychainService_, account, [alive, then = std::move(then)] {
        if (!alive.expired()) then();
    });
}

void AuthenticationController::displayAuthPanel() {
    model_.setKeepInKeychain(false);
    fillFieldsFromKeychain();
    view_.focusField(model_.username().isEmpty() ? AuthPanelsView::Field::Username : AuthPanelsView::Field::Password);
    if (!view_.isPanelVisible(AuthPanelsView::Panel::SignOn))
        view_.showPanel(AuthPanelsView::Panel::SignOn, visibleParent());
}

void AuthenticationController::displaySecurIDPanel() {
    model_.setSecurID(QString());
    model_.setSecurIDEnabled(true);
    view_.focusField(AuthPanelsView::Field::SecurID);
    if (!view_.isPanelVisible(AuthPanelsView::Panel::SecurID))
        view_.showPanel(AuthPanelsView::Panel::SecurID, visibleParent());
}

void AuthenticationController::dismissAuthPanel() { view_.hidePanel(AuthPanelsView::Panel::SignOn); }
void AuthenticationController::dismissSecurIDPanel() { view_.hidePanel(AuthPanelsView::Panel::SecurID); }

bool AuthenticationController::isAuthPanelVisible() const {
    return view_.isPanelVisible(AuthPanelsView::Panel::SignOn);
}
bool AuthenticationController::isSecurIDPanelVisible() const {
    return view_.isPanelVisible(AuthPanelsView::Panel::SecurID);
}

void AuthenticationController::storeAuthCredentials() {
    ensureFieldsFilled();
    saveScreennameToDefaults();
    if (model_.keepInKeychain()) saveFieldsToKeychain();
}

void AuthenticationController::clearAuthCredentials() {
    // An answer still to be taken must not bring the cleared password back.
    fillPending_ = false;
    model_.setPassword(QString());
}

void AuthenticationController::refresh() {
    loadScreennameFromDefaults();
    startFillFromKeychain();
}

void AuthenticationController::displayAuthFailedPanel(const QString& message) {
    displayFailure("AuthenticationFailureTitle", message);
}

void AuthenticationController::displayDiscoveryFailedPanel(const QString& message) {
    displayFailure("DiscoveryFailureTitle", message);
}

void AuthenticationController::displayFailure(const char* titleKey, const QString& message) {
    DialogRequest request;
    request.style = DialogRequest::Style::Critical;
    request.title = Texts(env_).text(QLatin1String(titleKey));
    request.messageText = request.title;
    request.informativeText = message;
    request.buttons = {Texts(env_).text(QStringLiteral("OK"))};
    // Without a visible parent the alert stands alone, and the panel still comes back.
    std::weak_ptr<int> alive = alive_;
    Presenter(env_).present(request, visibleParent(), [this, alive](int) {
        if (alive.expired() || !displayAuthPanelAfterFailure_) return;
        // After the alert has gone from the screen.
        QTimer::singleShot(0, [this, alive] {
            if (!alive.expired()) Guarded("auth panel after failure", [&] { displayAuthPanel(); });
        });
    });
}

QWidget* AuthenticationController::visibleParent() const {
    // Modal on a window nobody sees would hide the panel or alert with it.
    return parent_ && parent_->isVisible() ? parent_.data() : nullptr;
}

void AuthenticationController::revealSecurIDField(bool focus) {
    model_.setSecurIDEnabled(true);
    if (focus) view_.focusField(AuthPanelsView::Field::SecurID);
}

void AuthenticationController::requireDelegate() const {
    if (!delegate_) throw ServiceLayerError("Auth Controller missing delegate", "Auth controller must have a delegate");
}

void AuthenticationController::authOK() {
    dismissAuthPanel();
    requireDelegate();
    delegate_->authenticationControllerOKButtonClicked(*this);
}

void AuthenticationController::authCancel() {
    dismissAuthPanel();
    clearAuthCredentials();
    requireDelegate();
    delegate_->authenticationControllerCancelButtonClicked(*this);
}

void AuthenticationController::securIDOK() {
    dismissSecurIDPanel();
    requireDelegate();
    delegate_->authenticationControllerSecurIDOKButtonClicked(*this);
}

void AuthenticationController::securIDCancel() {
    dismissSecurIDPanel();
    clearAuthCredentials();
    requireDelegate();
    delegate_->authenticationControllerSecurIDCancelButtonClicked(*this);
}

void AuthenticationController::usernameChanged() { fillFieldsFromKeychain(); }

// The keyring answers on its own thread meanwhile (a slow one held the window for up to
// its whole timeout); the fields take the answer when it is first needed.
void AuthenticationController::startFillFromKeychain() {
    model_.setPassword(QString());
    updateSignOnButton();
    if (model_.username().isEmpty()) return;
    Passwords(env_).prefetch(keychainService_, KeychainUtils::canonicalScreenName(model_.username()));
    fillPending_ = true;
}

void AuthenticationController::ensureFieldsFilled() const {
    // The fields are the model's cache of the keyring: filling them late changes nothing
    // a caller of a const member could tell.
    if (fillPending_) const_cast<AuthenticationController*>(this)->fillFieldsFromKeychain();
}

void AuthenticationController::fillFieldsFromKeychain() {
    fillPending_ = false;
    model_.setPassword(QString());
    if (!model_.username().isEmpty()) {
        const std::optional<QString> stored =
            KeychainUtils::passwordForScreenName(Passwords(env_), model_.username(), keychainService_);
        if (stored && !stored->isEmpty()) model_.setPassword(*stored);
    }
    updateSignOnButton();
}

void AuthenticationController::loadScreennameFromDefaults() {
    const QString name = Defaults(env_).string(QLatin1String(kScreenNameDefaultsKey));
    if (!name.isEmpty()) model_.setUsername(name);
}

void AuthenticationController::saveFieldsToKeychain() {
    if (model_.password().isEmpty()) return;
    // Stored on each sign-on, between its steps: the keyring's time is not the sign-on's.
    Passwords(env_).writeWithoutWaiting(keychainService_, KeychainUtils::canonicalScreenName(model_.username()),
                                        model_.password());
}

void AuthenticationController::saveScreennameToDefaults() {
    if (model_.username().isEmpty()) return;
    Defaults(env_).setString(QLatin1String(kScreenNameDefaultsKey), model_.username());
}

void AuthenticationController::updateSignOnButton() {
    model_.setSignOnEnabled(!model_.username().isEmpty() && !model_.password().isEmpty());
}

// ---- FakeAuthPanelsView ----

void FakeAuthPanelsView::attach(CredentialsModel* m, AuthPanelsActions* a) {
    model = m;
    actions = a;
}

void FakeAuthPanelsView::showPanel(Panel panel, QWidget* parent) {
    (panel == Panel::SignOn ? signOnVisible : securIDVisible) = true;
    lastParent = parent;
    shows.push_back(panel);
}

void FakeAuthPanelsView::hidePanel(Panel panel) { (panel == Panel::SignOn ? signOnVisible : securIDVisible) = false; }

bool FakeAuthPanelsView::isPanelVisible(Panel panel) const {
    return panel == Panel::SignOn ? signOnVisible : securIDVisible;
}

void FakeAuthPanelsView::focusField(Field field) { focused = field; }
