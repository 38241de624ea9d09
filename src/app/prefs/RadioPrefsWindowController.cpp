#include "RadioPrefsWindowController.h"

#include "app/foundation/ZYMColorUtils.h"
#include "app/prefs/ColorWell.h"
#include "app/ui/PreferenceNotices.h"
#include "app/foundation/Clock.h"
#include "app/foundation/Localizer.h"
#include "app/foundation/PropertyList.h"
#include "app/foundation/Resources.h"
#include "app/foundation/UserDefaults.h"
#include "app/services/ZYMGenericService.h"
#include "app/ui/ColorSchemeController.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDateTimeEdit>
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

namespace {

constexpr qint64 kBroadband = 15000000;
constexpr qint64 kNarrowband = 32768;

RadioPrefsWindowController*& sharedController() {
    static RadioPrefsWindowController* controller = nullptr;
    return controller;
}

QString text(const char* key) { return Localizer::shared().text(QString::fromLatin1(key)); }

// A localized printf-style format with one integer ("%d", "%ld", "%i") or one string ("%@").
QString formatted(const QString& format, const QString& argument) {
    static const QStringList specifiers = {QStringLiteral("%ld"), QStringLiteral("%d"), QStringLiteral("%i"),
                                           QStringLiteral("%@"), QStringLiteral("%1")};
    for (const QString& spec : specifiers) {
        const int at = format.indexOf(spec);
        if (at >= 0) return QString(format).replace(at, spec.size(), argument);
    }
    return format;
}

QDateTime storedDate(const UserDefaults& defaults, const QString& key) {
    const QVariant v = defaults.object(key);
    if (v.typeId() == QMetaType::QDateTime) return v.toDateTime();
    const QString text = v.toString();
    QDateTime date = QDateTime::fromString(text, Qt::ISODateWithMs);
    if (!date.isValid()) date = QDateTime::fromString(text, Qt::ISODate);
    return date;
}

QWidget* pane(QLayout* layout) {
    auto* view = new QWidget;
    view->setLayout(layout);
    return view;
}

}  // namespace

struct RadioPrefsWindowController::TimerControls {
    QCheckBox* onOff;
    QDateTimeEdit* picker;
    QCheckBox* repeats;
    QLabel* label;
    QString dateKey;
    QString repeatKey;
    const char* format;
    const char* repeatingFormat;
};

RadioPrefsWindowController::RadioPrefsWindowController(RadioPrefsEnvironment environment)
    : PrefsWindowController(environment.stores), env_(std::move(environment)) {
    setObjectName(QStringLiteral("RadioPrefsWindow"));
    buildViews();
    awakeFromNib();
}

RadioPrefsWindowController::~RadioPrefsWindowController() {
    timersUpdateTimer_.reset();
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

QDateTime RadioPrefsWindowController::now() const {
    const Clock& clock = env_.clock ? *env_.clock : Clock::system();
    return clock.now().toTimeZone(env_.timeZone);
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
    c_.timersSettingsView = buildTimersView();
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

QWidget* RadioPrefsWindowController::buildTimersView() {
    auto* layout = new QGridLayout;
    const auto row = [&](int r, const char* title, QCheckBox*& onOff, QDateTimeEdit*& picker, QCheckBox*& repeats,
                         QLabel*& label, void (RadioPrefsWindowController::*enable)()) {
        onOff = new QCheckBox(text(title));
        picker = new QDateTimeEdit;
        picker->setCalendarPopup(true);
        picker->setDisplayFormat(QStringLiteral("yyyy-MM-dd HH:mm"));
        repeats = new QCheckBox(text("RepeatDailyCheckbox"));
        label = new QLabel;
        label->setMinimumWidth(260);
        connect(onOff, &QCheckBox::clicked, this, [this, enable] { (this->*enable)(); });
        layout->addWidget(onOff, r, 0);
        layout->addWidget(picker, r, 1);
        layout->addWidget(repeats, r, 2);
        layout->addWidget(label, r + 1, 0, 1, 3);
    };
    row(0, "SleepTimerCheckbox", c_.sleepTimerCheckbox, c_.sleepTimerDatePicker, c_.sleepTimerRepeatsCheckbox,
        c_.sleepTimerTextField, &RadioPrefsWindowController::enableSleepTimer);
    row(2, "WakeTimerCheckbox", c_.wakeTimerCheckbox, c_.wakeTimerDatePicker, c_.wakeTimerRepeatsCheckbox,
        c_.wakeTimerTextField, &RadioPrefsWindowController::enableWakeTimer);
    layout->setRowStretch(4, 1);
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

// --- timers pane ---

QDateTime RadioPrefsWindowController::pickerDate(const QDateTimeEdit* picker) const {
    return QDateTime(picker->date(), picker->time(), env_.timeZone);
}

void RadioPrefsWindowController::setPickerDate(QDateTimeEdit* picker, const QDateTime& date) {
    const QDateTime local = date.toTimeZone(env_.timeZone);
    picker->setDate(local.date());
    picker->setTime(local.time());
}

namespace {

// The date's time of day on `day`, by the calendar of `zone`.
QDateTime onDay(const QDateTime& date, QDate day, const QTimeZone& zone) {
    return QDateTime(day, date.toTimeZone(zone).time(), zone);
}

// The first moment after `now` at the date's time of day: today or tomorrow.
QDateTime nextOccurrence(const QDateTime& date, const QDateTime& now, const QTimeZone& zone) {
    const QDate today = now.toTimeZone(zone).date();
    const QDateTime sameDay = onDay(date, today, zone);
    return sameDay > now ? sameDay : onDay(date, today.addDays(1), zone);
}

}  // namespace

RadioPrefsWindowController::TimerControls RadioPrefsWindowController::sleepTimer() const {
    return {c_.sleepTimerCheckbox,
            c_.sleepTimerDatePicker,
            c_.sleepTimerRepeatsCheckbox,
            c_.sleepTimerTextField,
            K::sleepDate,
            K::sleepRepeats,
            "SleepTimerDescriptionFormat",
            "SleepTimerRepeatingDescriptionFormat"};
}

RadioPrefsWindowController::TimerControls RadioPrefsWindowController::wakeTimer() const {
    return {c_.wakeTimerCheckbox,
            c_.wakeTimerDatePicker,
            c_.wakeTimerRepeatsCheckbox,
            c_.wakeTimerTextField,
            K::wakeDate,
            K::wakeRepeats,
            "WakeTimerDescriptionFormat",
            "WakeTimerRepeatingDescriptionFormat"};
}

void RadioPrefsWindowController::initTimer(const TimerControls& timer, const QDateTime& now, const QDateTime& offDate) {
    const UserDefaults& defaults = env_.stores.userDefaults();
    const QDateTime stored = storedDate(defaults, timer.dateKey);
    const bool repeats = defaults.object(timer.repeatKey).isValid() && defaults.boolean(timer.repeatKey);
    QDateTime shown;
    if (stored.isValid() && stored > now) {
        shown = stored;
    } else if (stored.isValid() && repeats) {
        // The next time it fires: today when that time is still ahead.
        shown = nextOccurrence(stored, now, env_.timeZone);
    }
    const bool on = shown.isValid();
    timer.onOff->setEnabled(true);
    timer.onOff->setChecked(on);
    timer.picker->setEnabled(on);
    setPickerDate(timer.picker, on ? shown : offDate);
    timer.repeats->setEnabled(on);
    timer.repeats->setChecked(on && repeats);
    timer.label->setEnabled(on);
    timer.label->clear();
}

void RadioPrefsWindowController::initTimersPane() {
    const QDateTime current = now();
    const QDate tomorrow = current.date().addDays(1);
    initTimer(sleepTimer(), current, current.addSecs(3600));
    initTimer(wakeTimer(), current, QDateTime(tomorrow, QTime(8, 0), env_.timeZone));
    updateTimerLabels();
    Scheduler& scheduler = env_.scheduler ? *env_.scheduler : Scheduler::main();
    timersUpdateTimer_ = scheduler.repeating(std::chrono::seconds(1), [this] { updateTimerLabels(); });
}

void RadioPrefsWindowController::updateTimerLabel(const TimerControls& timer, const QDateTime& now) {
    if (!timer.onOff->isChecked()) {
        timer.label->setText(QString());
        return;
    }
    const QDateTime date = pickerDate(timer.picker);
    qint64 interval = now.secsTo(date);
    const bool repeating = timer.repeats->isChecked();
    if (repeating && interval < 0) interval = now.secsTo(onDay(date, date.date().addDays(1), env_.timeZone));
    const char* format = repeating ? timer.repeatingFormat : timer.format;
    timer.label->setText(formatted(text(format), QString::number(interval / 60)));
}

void RadioPrefsWindowController::updateTimerLabels() {
    const QDateTime current = now();
    updateTimerLabel(sleepTimer(), current);
    updateTimerLabel(wakeTimer(), current);
}

void RadioPrefsWindowController::enableTimer(const TimerControls& timer) {
    const bool on = timer.onOff->isChecked();
    timer.picker->setEnabled(on);
    timer.repeats->setEnabled(on);
    timer.label->setEnabled(on);
    updateTimerLabels();
}

void RadioPrefsWindowController::enableSleepTimer() { enableTimer(sleepTimer()); }

void RadioPrefsWindowController::enableWakeTimer() { enableTimer(wakeTimer()); }

void RadioPrefsWindowController::termTimer(const TimerControls& timer, const QDateTime& now) {
    UserDefaults& defaults = env_.stores.userDefaults();
    if (!timer.onOff->isChecked()) {
        defaults.removeObject(timer.dateKey);
        defaults.removeObject(timer.repeatKey);
        return;
    }
    QDateTime date = pickerDate(timer.picker);
    const bool repeats = timer.repeats->isEnabled() && timer.repeats->isChecked();
    // A one-off time that has passed means its next occurrence; stored in the past it
    // would never fire.
    if (date < now && !repeats) date = nextOccurrence(date, now, env_.timeZone);
    defaults.setString(timer.dateKey, date.toUTC().toString(Qt::ISODateWithMs));
    defaults.setBool(timer.repeatKey, repeats);
}

void RadioPrefsWindowController::termTimersPane() {
    timersUpdateTimer_.reset();
    const QDateTime current = now();
    termTimer(sleepTimer(), current);
    termTimer(wakeTimer(), current);
    env_.stores.userDefaults().synchronize();
    env_.stores.notifications().post(QString::fromLatin1(kRadioTimersSettingsHaveChangedNotification), this);
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
