#pragma once
// Ties one control of a preferences pane to a preference model: shows the model's value
// and writes what the user changes. Only user-driven signals are heard (clicked,
// textEdited, activated, a picked colour), so showing a value never writes it back.
// Keyed bindings follow a second model whose value is the key (or keyring account) of
// the first: the password field follows the screen-name field.

#include "app/prefs/PrefModel.h"
#include "app/foundation/NotificationCenter.h"

#include <QMetaObject>
#include <QPointer>
#include <QWidget>

#include <memory>
#include <vector>

class QAbstractButton;
class QComboBox;
class QLineEdit;
class ColorWell;

// A bool or number not 0, a text or bytes not empty.
bool prefTruth(const QVariant& value);
// A stored yes/no as the user defaults keep it ("true", "YES", "1", or a bool).
bool prefBoolValue(const QVariant& value);

class PrefViewBinding {
public:
    virtual ~PrefViewBinding();
    PrefViewBinding(const PrefViewBinding&) = delete;
    PrefViewBinding& operator=(const PrefViewBinding&) = delete;

    PrefModel* prefModel() const { return model_.get(); }
    std::shared_ptr<PrefModel> sharedPrefModel() const { return model_; }
    // Replaces the model without refreshing the control.
    void setPrefModel(std::shared_ptr<PrefModel> model) { model_ = std::move(model); }
    QWidget* prefView() const { return view_; }

    virtual void updateViewFromModel() {}
    virtual void viewChanged() {}

    // Registrations made for this binding end with it.
    void keepSubscription(NotificationCenter::Subscription subscription);

protected:
    PrefViewBinding(std::shared_ptr<PrefModel> model, QWidget* view);
    // Hears the control's user signal, then shows the model; leaves call it last in
    // their constructor.
    void attach();

private:
    std::shared_ptr<PrefModel> model_;
    QPointer<QWidget> view_;
    QMetaObject::Connection connection_;
    std::vector<NotificationCenter::Subscription> subscriptions_;
};

class PrefKeyedViewBinding : public PrefViewBinding {
public:
    PrefModel* keyModel() const { return keyModel_.get(); }
    virtual void keyModelChanged();

protected:
    PrefKeyedViewBinding(std::shared_ptr<PrefModel> model, QWidget* view, std::shared_ptr<PrefModel> keyModel);
    // The key model's current value as a key.
    QString currentKey() const;

private:
    std::shared_ptr<PrefModel> keyModel_;
};

class PrefCheckboxBinding : public PrefViewBinding {
public:
    PrefCheckboxBinding(std::shared_ptr<PrefModel> model, QAbstractButton* view);
    static std::unique_ptr<PrefCheckboxBinding> checkboxUserDefaultsBinding(QAbstractButton* view, const QString& key,
                                                                            PrefStores stores = {});
    void updateViewFromModel() override;
    void viewChanged() override;
};

class PrefTextFieldBinding : public PrefViewBinding {
public:
    PrefTextFieldBinding(std::shared_ptr<PrefModel> model, QLineEdit* view);
    static std::unique_ptr<PrefTextFieldBinding> textfieldUserDefaultsBinding(QLineEdit* view, const QString& key,
                                                                              PrefStores stores = {});
    static std::unique_ptr<PrefTextFieldBinding> textfieldKeychainBinding(QLineEdit* view, const QString& account,
                                                                          const QString& service,
                                                                          PrefStores stores = {});
    void updateViewFromModel() override;
    void viewChanged() override;
};

class PrefPopupBinding : public PrefViewBinding {
public:
    // An item's tag is its item data (an integer).
    PrefPopupBinding(std::shared_ptr<PrefModel> model, QComboBox* view);
    static std::unique_ptr<PrefPopupBinding> popupUserDefaultsBinding(QComboBox* view, const QString& key,
                                                                      PrefStores stores = {});
    void updateViewFromModel() override;
    void viewChanged() override;
};

class PrefColorWellBinding : public PrefViewBinding {
public:
    PrefColorWellBinding(std::shared_ptr<PrefModel> model, ColorWell* view);
    static std::unique_ptr<PrefColorWellBinding> colorwellUserDefaultsBinding(ColorWell* view, const QString& key,
                                                                              PrefStores stores = {});
    void updateViewFromModel() override;
    void viewChanged() override;
};

// The cache operations of the two cached text-field bindings.
class PrefCachingBinding {
public:
    virtual ~PrefCachingBinding() = default;
    virtual void loadCache() = 0;
    // Commits what the field shows, also when the user's edit was never announced.
    virtual void flushCache() = 0;

protected:
    static void loadModelCache(PrefViewBinding& binding);
    static void flushModelCache(PrefViewBinding& binding);
};

class PrefCachedTextFieldBinding : public PrefViewBinding, public PrefCachingBinding {
public:
    PrefCachedTextFieldBinding(std::shared_ptr<PrefModel> model, QLineEdit* view);
    static std::unique_ptr<PrefCachedTextFieldBinding> textfieldUserDefaultsBinding(QLineEdit* view, const QString& key,
                                                                                    PrefStores stores = {});
    static std::unique_ptr<PrefCachedTextFieldBinding> textfieldKeychainBinding(QLineEdit* view, const QString& account,
                                                                                const QString& service,
                                                                                PrefStores stores = {});
    void updateViewFromModel() override;
    void viewChanged() override;
    void loadCache() override;
    void flushCache() override;
};

class PrefKeyedCheckboxBinding : public PrefKeyedViewBinding {
public:
    PrefKeyedCheckboxBinding(std::shared_ptr<PrefModel> model, QAbstractButton* view,
                             std::shared_ptr<PrefModel> keyModel);
    static std::unique_ptr<PrefKeyedCheckboxBinding> checkboxUserDefaultsBinding(QAbstractButton* view,
                                                                                 std::shared_ptr<PrefModel> keyModel,
                                                                                 PrefStores stores = {});
    static std::unique_ptr<PrefKeyedCheckboxBinding> checkboxKeychainBinding(QAbstractButton* view,
                                                                             std::shared_ptr<PrefModel> keyModel,
                                                                             const QString& service,
                                                                             PrefStores stores = {});
    void updateViewFromModel() override;
    void viewChanged() override;
};

// A checkbox enabled by another model's yes/no; its own key never follows that model.
class PrefEnablingKeyedCheckboxBinding : public PrefKeyedViewBinding {
public:
    PrefEnablingKeyedCheckboxBinding(std::shared_ptr<PrefModel> model, QAbstractButton* view,
                                     std::shared_ptr<PrefModel> enablingModel);
    static std::unique_ptr<PrefEnablingKeyedCheckboxBinding> checkboxUserDefaultsBinding(
        QAbstractButton* view, const QString& key, std::shared_ptr<PrefModel> enablingModel, PrefStores stores = {});
    void updateViewFromModel() override;
    void viewChanged() override;
    void keyModelChanged() override { updateViewFromModel(); }
};

class PrefKeyedTextFieldBinding : public PrefKeyedViewBinding {
public:
    PrefKeyedTextFieldBinding(std::shared_ptr<PrefModel> model, QLineEdit* view, std::shared_ptr<PrefModel> keyModel);
    static std::unique_ptr<PrefKeyedTextFieldBinding> textfieldKeychainBinding(QLineEdit* view,
                                                                               std::shared_ptr<PrefModel> keyModel,
                                                                               const QString& service,
                                                                               PrefStores stores = {});
    void updateViewFromModel() override;
    void viewChanged() override;
};

class PrefKeyedAndCachedTextFieldBinding : public PrefKeyedViewBinding, public PrefCachingBinding {
public:
    PrefKeyedAndCachedTextFieldBinding(std::shared_ptr<PrefModel> model, QLineEdit* view,
                                       std::shared_ptr<PrefModel> keyModel);
    static std::unique_ptr<PrefKeyedAndCachedTextFieldBinding> textfieldKeychainBinding(
        QLineEdit* view, std::shared_ptr<PrefModel> keyModel, const QString& service, PrefStores stores = {});
    void updateViewFromModel() override;
    void viewChanged() override;
    void loadCache() override;
    void flushCache() override;
};

// Switches the password field between the keyring and memory.
class SaveInKeychainPrefKeyedCheckboxBinding : public PrefKeyedViewBinding {
public:
    SaveInKeychainPrefKeyedCheckboxBinding(std::shared_ptr<PrefModel> model, QAbstractButton* view,
                                           std::shared_ptr<PrefModel> keyModel,
                                           PrefKeyedTextFieldBinding* passwordBinding, const QString& service);
    static std::unique_ptr<SaveInKeychainPrefKeyedCheckboxBinding> checkboxKeychainBinding(
        QAbstractButton* view, std::shared_ptr<PrefModel> keyModel, PrefKeyedTextFieldBinding* passwordBinding,
        const QString& service, PrefStores stores = {});
    void updateViewFromModel() override;
    void viewChanged() override;

private:
    PrefKeyedTextFieldBinding* passwordBinding_;
    QString service_;
    PrefStores stores_;
};
