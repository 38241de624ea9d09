#include "RadioPrefsWindowController.h"

#include "app/foundation/ZYMColorUtils.h"
#include "app/prefs/ColorWell.h"
#include "app/prefs/RadioPrefsPaneHelpers.h"
#include "app/ui/PreferenceNotices.h"
#include "app/foundation/PropertyList.h"
#include "app/foundation/Resources.h"
#include "app/foundation/UserDefaults.h"
#include "app/services/ZYMGenericService.h"
#include "app/ui/ColorSchemeController.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QTableView>
#include <QVBoxLayout>

namespace K = RadioPrefsKeys;
using RadioPrefsPanes::formatted;
using RadioPrefsPanes::pane;
using RadioPrefsPanes::text;

namespace {

constexpr qint64 kBroadband = 15000000;
constexpr qint64 kNarrowband = 32768;

RadioPrefsWindowController*& sharedController() {
    static RadioPrefsWindowController* controller = nullptr;
    return controller;
}

}  // namespace

RadioPrefsWindowController::RadioPrefsWindowController(RadioPrefsEnvironment environment)
    : PrefsWindowController(environment.stores),
      env_(std::move(environment)),
      timers_(std::make_unique<RadioTimersPane>(*this, env_, c_)) {
    setObjectName(QStringLiteral("RadioPrefsWindow"));
    buildViews();
    awakeFromNib();
}

RadioPrefsWindowController::~RadioPrefsWindowController() {
    timers_.reset();
    presetObservations_.clear();
    bindings_.clear();
}

RadioPrefsWindowController& RadioPrefsWindowController::sharedPrefsController(
    const RadioPrefsEnvironment& environment) {
    if (!sharedController()) sharedController() = new RadioPrefsWindowController(environment);
    return *sharedController();
}

bool RadioPrefsWindowController::hasSharedPrefsController() { return sharedController() != nullptr; }

void RadioPrefsWindowController::shutdownPrefsController() {
    RadioPrefsWindowController* controller = sharedController();
    if (!controller) return;
    if (controller->windowShouldClose()) controller->closeApproved();
    sharedController() = nullptr;
    delete controller;
}

ColorSchemeController& RadioPrefsWindowController::colors() const {
    return env_.colors ? *env_.colors : ColorSchemeController::shared();
}

// --- views ---

void RadioPrefsWindowController::buildViews() {
    c_.radioSettingsView = buildRadioView();
    c_.userSettingsView = buildUserView();
    c_.presetSettingsView = buildPresetView();
    c_.interfaceColorsView = buildColorsView();
    c_.updateSettingsView = buildUpdateView();
    c_.timersSettingsView = timers_->buildTimersView();
    for (QWidget* view : {c_.radioSettingsView, c_.userSettingsView, c_.presetSettingsView, c_.interfaceColorsView,
                          c_.updateSettingsView, c_.timersSettingsView}) {
        view->setParent(this);
        view->hide();
        view->resize(QSize(480, qMax(view->sizeHint().height(), 120)));
    }
}

QWidget* RadioPrefsWindowController::buildRadioView() {
    auto* layout = new QVBoxLayout;
    c_.showNowPlayingOverlayCheckbox = new QCheckBox(text("ShowNowPlayingOverlayCheckbox"));
    c_.changeChatStatusCheckbox = new QCheckBox(text("ChangeChatStatusCheckbox"));
    c_.playAtLaunchCheckbox = new QCheckBox(text("PlayAtLaunchCheckbox"));
    layout->addWidget(c_.showNowPlayingOverlayCheckbox);
    layout->addWidget(c_.changeChatStatusCheckbox);
    layout->addWidget(c_.playAtLaunchCheckbox);
    auto* box = new QGroupBox(text("ConnectionTypeTitle"));
    auto* boxLayout = new QVBoxLayout(box);
    c_.networkAccessTypeMatrix = new QButtonGroup(box);
    auto* broadband = new QRadioButton(text("BroadbandConnection"));
    auto* narrowband = new QRadioButton(text("NarrowbandConnection"));
    c_.networkAccessTypeMatrix->addButton(broadband, 1);
    c_.networkAccessTypeMatrix->addButton(narrowband, 2);
    boxLayout->addWidget(broadband);
    boxLayout->addWidget(narrowband);
    layout->addWidget(box);
    layout->addStretch();
    return pane(layout);
}

QWidget* RadioPrefsWindowController::buildUserView() {
    auto* layout = new QFormLayout;
    c_.screenNameField = new QLineEdit;
    c_.passwordField = new QLineEdit;
    c_.passwordField->setEchoMode(QLineEdit::Password);
    layout->addRow(text("ScreenNameLabel"), c_.screenNameField);
    layout->addRow(text("PasswordLabel"), c_.passwordField);
    return pane(layout);
}

QWidget* RadioPrefsWindowController::buildPresetView() {
    auto* layout = new QVBoxLayout;
    presetModel_ = new PresetTableModel([this] { return radioService_; }, this);
    presetModel_->presetsChanged = [this] {
        env_.stores.notifications().post(QString::fromLatin1(kRadioServicePresetsChangedNotification), nullptr);
    };
    c_.presetTable = new QTableView;
    c_.presetTable->setModel(presetModel_);
    c_.presetTable->horizontalHeader()->hide();
    c_.presetTable->horizontalHeader()->setStretchLastSection(true);
    c_.presetTable->verticalHeader()->hide();
    c_.presetTable->setSelectionBehavior(QAbstractItemView::SelectRows);
    c_.presetTable->setSelectionMode(QAbstractItemView::SingleSelection);
    c_.presetTable->setDragDropMode(QAbstractItemView::NoDragDrop);
    c_.presetTable->setDragDropOverwriteMode(false);
    c_.presetTable->setDefaultDropAction(Qt::MoveAction);
    c_.presetTable->setMinimumHeight(150);
    c_.deletePreset = new QPushButton(text("DeletePresetButton"));
    connect(c_.deletePreset, &QPushButton::clicked, this, [this] { clearPreset(); });
    connect(c_.presetTable->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] {
        c_.deletePreset->setEnabled(presetModel_->availableService() != nullptr &&
                                    c_.presetTable->selectionModel()->hasSelection());
    });
    connect(presetModel_, &QAbstractItemModel::modelReset, this, [this] {
        // A reset model drops the selection model's selection; follow it.
        if (c_.deletePreset) c_.deletePreset->setEnabled(false);
    });
    layout->addWidget(new QLabel(text("PresetsPaneHint")));
    layout->addWidget(c_.presetTable);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(c_.deletePreset);
    layout->addLayout(buttons);
    return pane(layout);
}

QWidget* RadioPrefsWindowController::buildColorsView() {
    auto* layout = new QGridLayout;
    c_.colorSchemesPopup = new QComboBox;
    c_.colorSchemesPopup->setIconSize(QSize(16, 16));
    connect(c_.colorSchemesPopup, &QComboBox::activated, this, [this] { colorSchemeSelected(); });
    c_.textColorWell = new ColorWell;
    c_.textColorWell->setProperty("tag", 1);
    c_.backgroundColorWell = new ColorWell;
    c_.backgroundColorWell->setProperty("tag", 2);
    for (ColorWell* well : {c_.textColorWell, c_.backgroundColorWell})
        connect(well, &ColorWell::colorPicked, this, [this, well] { chooseColor(well); });
    c_.resetColorsButton = new QPushButton(text("ResetColorsButton"));
    connect(c_.resetColorsButton, &QPushButton::clicked, this, [this] { resetColors(); });
    layout->addWidget(new QLabel(text("ColorSchemeLabel")), 0, 0);
    layout->addWidget(c_.colorSchemesPopup, 0, 1);
    layout->addWidget(new QLabel(text("TextColorLabel")), 1, 0);
    layout->addWidget(c_.textColorWell, 1, 1, Qt::AlignLeft);
    layout->addWidget(new QLabel(text("BackgroundColorLabel")), 2, 0);
    layout->addWidget(c_.backgroundColorWell, 2, 1, Qt::AlignLeft);
    layout->addWidget(c_.resetColorsButton, 3, 1, Qt::AlignRight);
    layout->setRowStretch(4, 1);
    return pane(layout);
}

QWidget* RadioPrefsWindowController::buildUpdateView() {
    auto* layout = new QVBoxLayout;
    layout->addWidget(new QLabel(text("UpdateNoticesTitle")));
    c_.softwareUpdateMatrix = new QButtonGroup(this);
    const char* titles[] = {"NoUpdateNotices", "CurrentProductCheckboxTitleFormat", "AllProductsUpdateNotices"};
    for (int tag = 1; tag <= 3; ++tag) {
        auto* button = new QRadioButton(text(titles[tag - 1]));
        c_.softwareUpdateMatrix->addButton(button, tag);
        layout->addWidget(button);
    }
    layout->addStretch();
    return pane(layout);
}

// --- panes and bindings ---

void RadioPrefsWindowController::loadPanes() {
    setPanes({
        {kRadioPane, QStringLiteral("RadioSettingsPaneLabel"), QStringLiteral("RadioSettingsPaneTooltip"),
         QStringLiteral("GeneralPrefs"), c_.radioSettingsView},
        {kUserPane, QStringLiteral("UserSettingsPaneLabel"), QStringLiteral("UserSettingsPaneTooltip"),
         QStringLiteral("AccountPrefs"), c_.userSettingsView},
        {kPresetPane, QStringLiteral("PresetSettingsPaneLabel"), QStringLiteral("PresetSettingsPaneTooltip"),
         QStringLiteral("PresetsPrefs"), c_.presetSettingsView},
        {kColorsPane, QStringLiteral("ColorsPaneLabel"), QStringLiteral("ColorsPaneTooltip"),
         QStringLiteral("ColorsPrefs"), c_.interfaceColorsView},
        {kUpdatePane, QStringLiteral("UpdateSettingsLabel"), QStringLiteral("UpdateSettingsTooltip"),
         QStringLiteral("UpdatePrefs"), c_.updateSettingsView},
        {kTimersPane, QStringLiteral("TimersSettingsLabel"), QStringLiteral("TimersSettingsTooltip"),
         QStringLiteral("UpdatePrefs"), c_.timersSettingsView},
    });
    setupBindings();
}

void RadioPrefsWindowController::registerCaching(PrefCachingBinding* binding) {
    auto* owner = dynamic_cast<PrefViewBinding*>(binding);
    NotificationCenter& center = env_.stores.notifications();
    owner->keepSubscription(center.observe(QString::fromLatin1(kPrefPaneWillOpenNotification), c_.userSettingsView,
                                           [binding](const Notification&) { binding->loadCache(); }));
    owner->keepSubscription(center.observe(QString::fromLatin1(kPrefPaneWillCloseNotification), c_.userSettingsView,
                                           [binding](const Notification&) { binding->flushCache(); }));
    owner->keepSubscription(center.observe(QString::fromLatin1(kServiceRequestNotification), nullptr,
                                           [binding](const Notification&) { binding->flushCache(); }));
}

void RadioPrefsWindowController::setupBindings() {
    bindings_.clear();
    const PrefStores& stores = env_.stores;
    auto screenName =
        PrefCachedTextFieldBinding::textfieldUserDefaultsBinding(c_.screenNameField, K::screenName, stores);
    const QString service = env_.keychainService ? env_.keychainService() : text("RadioKeychainService");
    auto password = PrefKeyedAndCachedTextFieldBinding::textfieldKeychainBinding(
        c_.passwordField, screenName->sharedPrefModel(), service, stores);
    registerCaching(screenName.get());
    registerCaching(password.get());
    bindings_.push_back(std::move(screenName));
    bindings_.push_back(std::move(password));
    bindings_.push_back(PrefCheckboxBinding::checkboxUserDefaultsBinding(c_.showNowPlayingOverlayCheckbox,
                                                                         K::showNowPlayingOverlay, stores));
    if (env_.chatStatusScriptable) {
        bindings_.push_back(
            PrefCheckboxBinding::checkboxUserDefaultsBinding(c_.changeChatStatusCheckbox, K::setIChatStatus, stores));
    } else {
        c_.changeChatStatusCheckbox->setEnabled(false);
    }
    bindings_.push_back(
        PrefCheckboxBinding::checkboxUserDefaultsBinding(c_.playAtLaunchCheckbox, K::playAtLaunch, stores));
}

void RadioPrefsWindowController::paneWillDisplay(QWidget* view) {
    env_.stores.notifications().post(QString::fromLatin1(kPrefPaneWillOpenNotification), view);
    if (view == c_.radioSettingsView)
        initRadioPane();
    else if (view == c_.presetSettingsView)
        initPresetsPane();
    else if (view == c_.interfaceColorsView)
        initColorsPane();
    else if (view == c_.updateSettingsView)
        initUpdatePane();
    else if (view == c_.timersSettingsView)
        initTimersPane();
}

bool RadioPrefsWindowController::paneWillClose(QWidget* view) {
    env_.stores.notifications().post(QString::fromLatin1(kPrefPaneWillCloseNotification), view);
    if (view == c_.radioSettingsView)
        termRadioPane();
    else if (view == c_.presetSettingsView)
        termPresetsPane();
    else if (view == c_.updateSettingsView)
        termUpdatePane();
    else if (view == c_.timersSettingsView)
        termTimersPane();
    return true;
}

// --- general pane ---

void RadioPrefsWindowController::initRadioPane() {
    const qint64 limit = env_.stores.userDefaults().integer(K::networkBandwidthLimit);
    const int tag = limit == 0 || limit > kNarrowband ? 1 : 2;
    c_.networkAccessTypeMatrix->button(tag)->setChecked(true);
}

void RadioPrefsWindowController::termRadioPane() {
    UserDefaults& defaults = env_.stores.userDefaults();
    const qint64 limit = defaults.integer(K::networkBandwidthLimit);
    if (c_.networkAccessTypeMatrix->checkedId() == 2) {
        if (limit > kNarrowband || limit == 0) defaults.setInteger(K::networkBandwidthLimit, kNarrowband);
    } else if (limit <= kNarrowband) {
        defaults.setInteger(K::networkBandwidthLimit, kBroadband);
    }
    env_.stores.notifications().post(QString::fromLatin1(kPrefObjectChangedNotification), &K::networkBandwidthLimit,
                                     {{PreferenceNotices::kKeyInfo, K::networkBandwidthLimit}});
}

// --- update pane ---

void RadioPrefsWindowController::initUpdatePane() {
    c_.softwareUpdateMatrix->button(2)->setText(formatted(text("CurrentProductCheckboxTitleFormat"), env_.bundleName));
    const UserDefaults& defaults = env_.stores.userDefaults();
    const int tag = defaults.boolean(K::updateNoticeAll) ? 3 : defaults.boolean(K::updateNoticeCurrent) ? 2 : 1;
    c_.softwareUpdateMatrix->button(tag)->setChecked(true);
}

void RadioPrefsWindowController::termUpdatePane() {
    UserDefaults& defaults = env_.stores.userDefaults();
    const bool current = defaults.boolean(K::updateNoticeCurrent);
    const bool all = defaults.boolean(K::updateNoticeAll);
    const auto write = [&](bool newCurrent, bool newAll, bool allFirst) {
        if (allFirst) defaults.setBool(K::updateNoticeAll, newAll);
        defaults.setBool(K::updateNoticeCurrent, newCurrent);
        if (!allFirst) defaults.setBool(K::updateNoticeAll, newAll);
    };
    switch (c_.softwareUpdateMatrix->checkedId()) {
    case 3:
        if (!all) write(true, true, true);
        break;
    case 2:
        if (!(current && !all)) write(true, false, false);
        break;
    case 1:
        if (current || all) write(false, false, false);
        break;
    default: break;
    }
}

// --- presets pane ---

void RadioPrefsWindowController::initPresetsPane() {
    radioService_ = env_.radioService ? env_.radioService() : nullptr;
    NotificationCenter& center = env_.stores.notifications();
    presetObservations_.clear();
    const void* sender = radioService_ ? radioService_->notificationSender() : nullptr;
    if (sender) {
        presetObservations_.push_back(
            center.observe(QString::fromLatin1(kServiceEstablishedNotification), sender, [this](const Notification&) {
                radioService_ = env_.radioService ? env_.radioService() : nullptr;
                updatePresetsUI();
            }));
        presetObservations_.push_back(
            center.observe(QString::fromLatin1(kServiceNoLongerValidNotification), sender, [this](const Notification&) {
                radioService_ = nullptr;
                updatePresetsUI();
            }));
    }
    presetObservations_.push_back(center.observe(QString::fromLatin1(kRadioServicePresetsChangedNotification), nullptr,
                                                 [this](const Notification&) { updatePresetsUI(); }));
    c_.presetTable->setDragDropMode(QAbstractItemView::DragDrop);
    c_.presetTable->setAcceptDrops(true);
    c_.presetTable->setDragEnabled(true);
    updatePresetsUI();
    c_.presetTable->setFocus(Qt::OtherFocusReason);
}

void RadioPrefsWindowController::termPresetsPane() {
    presetObservations_.clear();
    c_.presetTable->setDragDropMode(QAbstractItemView::NoDragDrop);
    c_.presetTable->setAcceptDrops(false);
}

void RadioPrefsWindowController::updatePresetsUI() {
    const int selected = c_.presetTable->selectionModel()->hasSelection()
                             ? c_.presetTable->selectionModel()->selectedRows().value(0).row()
                             : -1;
    // Whoever asks (a toolbar button, a notice, the pane's own set-up), the rows are read again.
    {
        const QSignalBlocker block(c_.presetTable->selectionModel());
        presetModel_->reload();
        if (selected >= 0 && selected < presetModel_->rowCount()) c_.presetTable->selectRow(selected);
    }
    // Clearing needs a row to clear: the service takes slots from 1 only.
    c_.deletePreset->setEnabled(presetModel_->availableService() != nullptr &&
                                c_.presetTable->selectionModel()->hasSelection());
}

void RadioPrefsWindowController::clearPreset() {
    PresetService* service = presetModel_->availableService();
    const QModelIndexList rows = c_.presetTable->selectionModel()->selectedRows();
    if (!service || rows.isEmpty()) return;
    service->removePreset(rows.first().row() + 1);
    env_.stores.notifications().post(QString::fromLatin1(kRadioServicePresetsChangedNotification), nullptr);
    updatePresetsUI();
}

// --- colours pane ---

QPixmap RadioPrefsWindowController::previewImageWithColorScheme(const QVariantMap& scheme) {
    QPixmap image(16, 16);
    image.setDevicePixelRatio(1.0);
    image.fill(ZYMColor::colorWithCalibratedRGBDictionary(
        scheme.value(QString::fromLatin1(kDisplayBackgroundColorKey)).toMap()));
    QPainter painter(&image);
    painter.setPen(
        ZYMColor::colorWithCalibratedRGBDictionary(scheme.value(QString::fromLatin1(kDisplayTextColorKey)).toMap()));
    QFont font = painter.font();
    font.setPixelSize(7);
    painter.setFont(font);
    painter.drawText(QRect(5, 0, 11, 16), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("ZYM"));
    painter.setPen(QPen(Qt::black, 1));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(0, 0, 15, 15);
    return image;
}

void RadioPrefsWindowController::initColorsPane() {
    setupColorWellColors();
    setupColorSchemesPopup();
}

void RadioPrefsWindowController::setupColorWellColors() {
    c_.textColorWell->setColor(colors().colorForKey(QString::fromLatin1(kDisplayTextColorKey)));
    c_.backgroundColorWell->setColor(colors().colorForKey(QString::fromLatin1(kDisplayBackgroundColorKey)));
}

void RadioPrefsWindowController::setupColorSchemesPopup() {
    QComboBox* popup = c_.colorSchemesPopup;
    popup->clear();
    const QString selected = colors().selectedSchemeNameDefault();
    int remembered = -1;
    const auto add = [&](const QVariantMap& scheme) {
        popup->addItem(QIcon(previewImageWithColorScheme(scheme)), ColorSchemeController::localizedSchemeName(scheme),
                       scheme);
        if (!selected.isNull() && ColorSchemeController::schemeName(scheme) == selected)
            remembered = popup->count() - 1;
    };
    for (const QVariant& scheme : ColorSchemeController::defaultSchemes())
        add(scheme.toMap());
    const QVariantMap custom = colors().customScheme();
    if (!custom.isEmpty()) {
        popup->insertSeparator(popup->count());
        add(custom);
    }
    if (popup->count() > 0) popup->setCurrentIndex(remembered >= 0 ? remembered : 0);
}

void RadioPrefsWindowController::colorSchemeSelected() {
    const QVariant scheme = c_.colorSchemesPopup->currentData();
    if (scheme.typeId() != QMetaType::QVariantMap) return;
    colors().setColorsFromDictionary(scheme.toMap(), true);
    setupColorWellColors();
}

void RadioPrefsWindowController::chooseColor(ColorWell* well) {
    const QVariantMap dictionary = ZYMColor::calibratedRGBDictionaryWithColor(well->color());
    if (dictionary.isEmpty()) return;  // no colour to store: the scheme stays as it is
    QVariantMap scheme = colors().dictionaryWithColors();
    const int tag = well->property("tag").toInt();
    if (tag == 1)
        scheme.insert(QString::fromLatin1(kDisplayTextColorKey), dictionary);
    else if (tag == 2)
        scheme.insert(QString::fromLatin1(kDisplayBackgroundColorKey), dictionary);
    scheme.insert(QStringLiteral("name"), QStringLiteral("custom"));
    colors().setColorsFromDictionary(scheme, true);
    setupColorSchemesPopup();
}

void RadioPrefsWindowController::resetColors() {
    QVariantMap top;
    const QString path = Resources::find(QStringLiteral("InterfaceColors"), QStringLiteral("plist"));
    if (!path.isEmpty()) {
        if (const auto plist = PropertyList::readFile(path)) top = plist->toMap();
    }
    // A colour file without its top-level colours would reset the display to black on
    // black: the built-in colours stand in.
    const bool hasColors =
        top.value(QString::fromLatin1(kDisplayTextColorKey)).typeId() == QMetaType::QVariantMap &&
        top.value(QString::fromLatin1(kDisplayBackgroundColorKey)).typeId() == QMetaType::QVariantMap;
    colors().setColorsFromDictionary(hasColors ? top : ColorSchemeController::builtInScheme(), true);
    initColorsPane();
}
