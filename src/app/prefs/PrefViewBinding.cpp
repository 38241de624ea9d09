#include "PrefViewBinding.h"

#include "app/foundation/ZYMColorUtils.h"
#include "app/prefs/ColorWell.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QLineEdit>

bool prefTruth(const QVariant& value) {
    switch (value.typeId()) {
    case QMetaType::Bool: return value.toBool();
    case QMetaType::Int:
    case QMetaType::LongLong:
    case QMetaType::UInt:
    case QMetaType::ULongLong:
    case QMetaType::Double:
    case QMetaType::Float: return value.toDouble() != 0.0;
    case QMetaType::QString: return !value.toString().isEmpty();
    case QMetaType::QByteArray: return !value.toByteArray().isEmpty();
    default: return false;
    }
}

bool prefBoolValue(const QVariant& value) {
    if (value.typeId() == QMetaType::QString || value.typeId() == QMetaType::QByteArray) {
        const QString text = value.toString().trimmed().toLower();
        if (text == QLatin1String("true") || text == QLatin1String("yes")) return true;
        bool ok = false;
        const double number = text.toDouble(&ok);
        return ok && number != 0.0;
    }
    return prefTruth(value);
}

namespace {

std::shared_ptr<PrefModel> userDefault(const QString& key, PrefStores stores) {
    return std::make_shared<UserDefaultPrefModel>(key, stores);
}

QString keyOf(const std::shared_ptr<PrefModel>& keyModel) {
    return keyModel ? keyModel->value().toString() : QString();
}

QString textOf(QWidget* view) {
    auto* field = qobject_cast<QLineEdit*>(view);
    return field ? field->text() : QString();
}

void showText(QWidget* view, const QVariant& value) {
    if (auto* field = qobject_cast<QLineEdit*>(view)) field->setText(value.isValid() ? value.toString() : QString());
}

void setChecked(QWidget* view, bool on) {
    if (auto* button = qobject_cast<QAbstractButton*>(view)) button->setChecked(on);
}

bool isChecked(QWidget* view) {
    auto* button = qobject_cast<QAbstractButton*>(view);
    return button && button->isChecked();
}

}  // namespace

PrefViewBinding::PrefViewBinding(std::shared_ptr<PrefModel> model, QWidget* view)
    : model_(std::move(model)), view_(view) {}

PrefViewBinding::~PrefViewBinding() {
    QObject::disconnect(connection_);
    subscriptions_.clear();
}

void PrefViewBinding::keepSubscription(NotificationCenter::Subscription subscription) {
    subscriptions_.push_back(std::move(subscription));
}

void PrefViewBinding::attach() {
    QWidget* view = view_;
    if (auto* well = qobject_cast<ColorWell*>(view)) {
        connection_ = QObject::connect(well, &ColorWell::colorPicked, [this] { viewChanged(); });
    } else if (auto* button = qobject_cast<QAbstractButton*>(view)) {
        connection_ = QObject::connect(button, &QAbstractButton::clicked, [this] { viewChanged(); });
    } else if (auto* field = qobject_cast<QLineEdit*>(view)) {
        connection_ = QObject::connect(field, &QLineEdit::textEdited, [this] { viewChanged(); });
    } else if (auto* popup = qobject_cast<QComboBox*>(view)) {
        connection_ = QObject::connect(popup, &QComboBox::activated, [this] { viewChanged(); });
    }
    updateViewFromModel();
}

PrefKeyedViewBinding::PrefKeyedViewBinding(std::shared_ptr<PrefModel> model, QWidget* view,
                                           std::shared_ptr<PrefModel> keyModel)
    : PrefViewBinding(std::move(model), view), keyModel_(std::move(keyModel)) {
    if (keyModel_) {
        keepSubscription(keyModel_->stores().notifications().observe(
            QString::fromLatin1(kPrefObjectChangedNotification), keyModel_.get(),
            [this](const Notification&) { keyModelChanged(); }));
    }
}

QString PrefKeyedViewBinding::currentKey() const { return keyOf(keyModel_); }

void PrefKeyedViewBinding::keyModelChanged() {
    if (auto* keyed = dynamic_cast<KeyedPrefModel*>(prefModel())) keyed->setKey(currentKey());
    updateViewFromModel();
}

// --- checkbox ---

PrefCheckboxBinding::PrefCheckboxBinding(std::shared_ptr<PrefModel> model, QAbstractButton* view)
    : PrefViewBinding(std::move(model), view) {
    attach();
}

std::unique_ptr<PrefCheckboxBinding> PrefCheckboxBinding::checkboxUserDefaultsBinding(QAbstractButton* view,
                                                                                      const QString& key,
                                                                                      PrefStores stores) {
    return std::make_unique<PrefCheckboxBinding>(userDefault(key, stores), view);
}

void PrefCheckboxBinding::updateViewFromModel() { setChecked(prefView(), prefBoolValue(prefModel()->value())); }

void PrefCheckboxBinding::viewChanged() { prefModel()->setValue(isChecked(prefView())); }

// --- text field ---

PrefTextFieldBinding::PrefTextFieldBinding(std::shared_ptr<PrefModel> model, QLineEdit* view)
    : PrefViewBinding(std::move(model), view) {
    attach();
}

std::unique_ptr<PrefTextFieldBinding> PrefTextFieldBinding::textfieldUserDefaultsBinding(QLineEdit* view,
                                                                                         const QString& key,
                                                                                         PrefStores stores) {
    return std::make_unique<PrefTextFieldBinding>(userDefault(key, stores), view);
}

std::unique_ptr<PrefTextFieldBinding> PrefTextFieldBinding::textfieldKeychainBinding(QLineEdit* view,
                                                                                     const QString& account,
                                                                                     const QString& service,
                                                                                     PrefStores stores) {
    return std::make_unique<PrefTextFieldBinding>(std::make_shared<KeychainPrefModel>(account, service, stores), view);
}

void PrefTextFieldBinding::updateViewFromModel() { showText(prefView(), prefModel()->value()); }

void PrefTextFieldBinding::viewChanged() { prefModel()->setValue(textOf(prefView())); }

// --- pop-up ---

PrefPopupBinding::PrefPopupBinding(std::shared_ptr<PrefModel> model, QComboBox* view)
    : PrefViewBinding(std::move(model), view) {
    attach();
}

std::unique_ptr<PrefPopupBinding> PrefPopupBinding::popupUserDefaultsBinding(QComboBox* view, const QString& key,
                                                                             PrefStores stores) {
    return std::make_unique<PrefPopupBinding>(userDefault(key, stores), view);
}

void PrefPopupBinding::updateViewFromModel() {
    auto* popup = qobject_cast<QComboBox*>(prefView());
    if (!popup) return;
    const qint64 tag = prefModel()->value().toLongLong();
    if (tag != 0) {
        const int index = popup->findData(tag);
        if (index >= 0 && index < popup->count()) popup->setCurrentIndex(index);
        return;
    }
    if (popup->count() == 0) return;
    popup->setCurrentIndex(0);
    prefModel()->setValue(popup->itemData(0).toLongLong());
}

void PrefPopupBinding::viewChanged() {
    auto* popup = qobject_cast<QComboBox*>(prefView());
    if (popup && popup->currentIndex() >= 0) prefModel()->setValue(popup->currentData().toLongLong());
}

// --- colour well ---

PrefColorWellBinding::PrefColorWellBinding(std::shared_ptr<PrefModel> model, ColorWell* view)
    : PrefViewBinding(std::move(model), view) {
    attach();
}

std::unique_ptr<PrefColorWellBinding> PrefColorWellBinding::colorwellUserDefaultsBinding(ColorWell* view,
                                                                                         const QString& key,
                                                                                         PrefStores stores) {
    return std::make_unique<PrefColorWellBinding>(userDefault(key, stores), view);
}

void PrefColorWellBinding::updateViewFromModel() {
    auto* well = qobject_cast<ColorWell*>(prefView());
    const QVariant value = prefModel()->value();
    if (well && value.isValid()) well->setColor(ZYMColor::colorWithCalibratedRGBDictionary(value.toMap()));
}

void PrefColorWellBinding::viewChanged() {
    auto* well = qobject_cast<ColorWell*>(prefView());
    if (!well) return;
    const QVariantMap dictionary = ZYMColor::calibratedRGBDictionaryWithColor(well->color());
    if (!dictionary.isEmpty()) prefModel()->setValue(dictionary);
}

// --- cached text field ---

void PrefCachingBinding::loadModelCache(PrefViewBinding& binding) {
    if (auto* cached = dynamic_cast<CachedModel*>(binding.prefModel())) cached->loadCache();
    binding.updateViewFromModel();
}

void PrefCachingBinding::flushModelCache(PrefViewBinding& binding) {
    binding.prefModel()->setValue(textOf(binding.prefView()));
    if (auto* cached = dynamic_cast<CachedModel*>(binding.prefModel())) cached->flushCache();
}

PrefCachedTextFieldBinding::PrefCachedTextFieldBinding(std::shared_ptr<PrefModel> model, QLineEdit* view)
    : PrefViewBinding(std::move(model), view) {
    attach();
}

std::unique_ptr<PrefCachedTextFieldBinding> PrefCachedTextFieldBinding::textfieldUserDefaultsBinding(
    QLineEdit* view, const QString& key, PrefStores stores) {
    return std::make_unique<PrefCachedTextFieldBinding>(std::make_shared<CachedUserDefaultPrefModel>(key, stores),
                                                        view);
}

std::unique_ptr<PrefCachedTextFieldBinding> PrefCachedTextFieldBinding::textfieldKeychainBinding(QLineEdit* view,
                                                                                                 const QString& account,
                                                                                                 const QString& service,
                                                                                                 PrefStores stores) {
    return std::make_unique<PrefCachedTextFieldBinding>(
        std::make_shared<CachedKeychainPrefModel>(account, service, stores), view);
}

void PrefCachedTextFieldBinding::updateViewFromModel() { showText(prefView(), prefModel()->value()); }

void PrefCachedTextFieldBinding::viewChanged() { prefModel()->setValue(textOf(prefView())); }

void PrefCachedTextFieldBinding::loadCache() { loadModelCache(*this); }

void PrefCachedTextFieldBinding::flushCache() { flushModelCache(*this); }

// --- keyed checkboxes ---

PrefKeyedCheckboxBinding::PrefKeyedCheckboxBinding(std::shared_ptr<PrefModel> model, QAbstractButton* view,
                                                   std::shared_ptr<PrefModel> keyModel)
    : PrefKeyedViewBinding(std::move(model), view, std::move(keyModel)) {
    attach();
}

std::unique_ptr<PrefKeyedCheckboxBinding> PrefKeyedCheckboxBinding::checkboxUserDefaultsBinding(
    QAbstractButton* view, std::shared_ptr<PrefModel> keyModel, PrefStores stores) {
    auto model = userDefault(keyOf(keyModel), stores);
    return std::make_unique<PrefKeyedCheckboxBinding>(std::move(model), view, std::move(keyModel));
}

std::unique_ptr<PrefKeyedCheckboxBinding> PrefKeyedCheckboxBinding::checkboxKeychainBinding(
    QAbstractButton* view, std::shared_ptr<PrefModel> keyModel, const QString& service, PrefStores stores) {
    auto model = std::make_shared<KeychainPrefModel>(keyOf(keyModel), service, stores);
    return std::make_unique<PrefKeyedCheckboxBinding>(std::move(model), view, std::move(keyModel));
}

void PrefKeyedCheckboxBinding::updateViewFromModel() { setChecked(prefView(), prefTruth(prefModel()->value())); }

void PrefKeyedCheckboxBinding::viewChanged() { prefModel()->setValue(isChecked(prefView())); }

PrefEnablingKeyedCheckboxBinding::PrefEnablingKeyedCheckboxBinding(std::shared_ptr<PrefModel> model,
                                                                   QAbstractButton* view,
                                                                   std::shared_ptr<PrefModel> enablingModel)
    : PrefKeyedViewBinding(std::move(model), view, std::move(enablingModel)) {
    attach();
}

std::unique_ptr<PrefEnablingKeyedCheckboxBinding> PrefEnablingKeyedCheckboxBinding::checkboxUserDefaultsBinding(
    QAbstractButton* view, const QString& key, std::shared_ptr<PrefModel> enablingModel, PrefStores stores) {
    return std::make_unique<PrefEnablingKeyedCheckboxBinding>(userDefault(key, stores), view, std::move(enablingModel));
}

void PrefEnablingKeyedCheckboxBinding::updateViewFromModel() {
    QWidget* view = prefView();
    if (!view) return;
    const QVariant enabling = keyModel() ? keyModel()->value() : QVariant();
    if (!enabling.isValid()) {
        view->setEnabled(false);
    } else if (enabling.canConvert<bool>()) {
        view->setEnabled(prefBoolValue(enabling));
    }
    setChecked(view, prefTruth(prefModel()->value()));
}

void PrefEnablingKeyedCheckboxBinding::viewChanged() { prefModel()->setValue(isChecked(prefView())); }

// --- keyed text fields ---

PrefKeyedTextFieldBinding::PrefKeyedTextFieldBinding(std::shared_ptr<PrefModel> model, QLineEdit* view,
                                                     std::shared_ptr<PrefModel> keyModel)
    : PrefKeyedViewBinding(std::move(model), view, std::move(keyModel)) {
    attach();
}

std::unique_ptr<PrefKeyedTextFieldBinding> PrefKeyedTextFieldBinding::textfieldKeychainBinding(
    QLineEdit* view, std::shared_ptr<PrefModel> keyModel, const QString& service, PrefStores stores) {
    auto model = std::make_shared<KeychainPrefModel>(keyOf(keyModel), service, stores);
    return std::make_unique<PrefKeyedTextFieldBinding>(std::move(model), view, std::move(keyModel));
}

void PrefKeyedTextFieldBinding::updateViewFromModel() { showText(prefView(), prefModel()->value()); }

void PrefKeyedTextFieldBinding::viewChanged() { prefModel()->setValue(textOf(prefView())); }

PrefKeyedAndCachedTextFieldBinding::PrefKeyedAndCachedTextFieldBinding(std::shared_ptr<PrefModel> model,
                                                                       QLineEdit* view,
                                                                       std::shared_ptr<PrefModel> keyModel)
    : PrefKeyedViewBinding(std::move(model), view, std::move(keyModel)) {
    attach();
}

std::unique_ptr<PrefKeyedAndCachedTextFieldBinding> PrefKeyedAndCachedTextFieldBinding::textfieldKeychainBinding(
    QLineEdit* view, std::shared_ptr<PrefModel> keyModel, const QString& service, PrefStores stores) {
    auto model = std::make_shared<CachedKeychainPrefModel>(keyOf(keyModel), service, stores);
    return std::make_unique<PrefKeyedAndCachedTextFieldBinding>(std::move(model), view, std::move(keyModel));
}

void PrefKeyedAndCachedTextFieldBinding::updateViewFromModel() { showText(prefView(), prefModel()->value()); }

void PrefKeyedAndCachedTextFieldBinding::viewChanged() { prefModel()->setValue(textOf(prefView())); }

void PrefKeyedAndCachedTextFieldBinding::loadCache() { loadModelCache(*this); }

void PrefKeyedAndCachedTextFieldBinding::flushCache() { flushModelCache(*this); }

// --- save-in-keyring switch ---

SaveInKeychainPrefKeyedCheckboxBinding::SaveInKeychainPrefKeyedCheckboxBinding(
    std::shared_ptr<PrefModel> model, QAbstractButton* view, std::shared_ptr<PrefModel> keyModel,
    PrefKeyedTextFieldBinding* passwordBinding, const QString& service)
    : PrefKeyedViewBinding(model, view, std::move(keyModel)),
      passwordBinding_(passwordBinding),
      service_(service),
      stores_(model->stores()) {
    attach();
}

std::unique_ptr<SaveInKeychainPrefKeyedCheckboxBinding> SaveInKeychainPrefKeyedCheckboxBinding::checkboxKeychainBinding(
    QAbstractButton* view, std::shared_ptr<PrefModel> keyModel, PrefKeyedTextFieldBinding* passwordBinding,
    const QString& service, PrefStores stores) {
    auto model = std::make_shared<KeychainPrefModel>(keyOf(keyModel), service, stores);
    return std::make_unique<SaveInKeychainPrefKeyedCheckboxBinding>(std::move(model), view, std::move(keyModel),
                                                                    passwordBinding, service);
}

void SaveInKeychainPrefKeyedCheckboxBinding::updateViewFromModel() {
    setChecked(prefView(), prefTruth(prefModel()->value()));
}

void SaveInKeychainPrefKeyedCheckboxBinding::viewChanged() {
    if (!passwordBinding_) return;
    const QString account = currentKey();
    if (isChecked(prefView()))
        passwordBinding_->setPrefModel(std::make_shared<KeychainPrefModel>(account, service_, stores_));
    else
        passwordBinding_->setPrefModel(std::make_shared<DictionaryPrefModel>(account, stores_));
    passwordBinding_->updateViewFromModel();
    // The switch's own model is a password model: a yes/no written there would replace
    // the stored password with "1", so the state stays with the checkbox.
}
