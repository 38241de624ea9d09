#pragma once
// The application's preferences window: general settings, account, presets, display
// colours, update notices and the sleep and wake timers. The main window learns of
// changes only through the user defaults and notifications ("PrefObjectChangedNotification",
// "RadioTimersSettingsHaveChangedNotification", "kRadioServicePresetsChangedNotification"
// and the colour scheme's own). The account fields are committed when their pane closes
// or a sign-on starts, so a sign-on uses what was typed.

#include "app/prefs/PrefViewBinding.h"
#include "app/prefs/PresetTableModel.h"
#include "app/prefs/PrefsWindowController.h"
#include "app/prefs/RadioTimersPane.h"
#include "app/foundation/NotificationCenter.h"

#include <QDateTime>
#include <QTimeZone>

#include <functional>
#include <memory>
#include <vector>

class Clock;
class ColorSchemeController;
class ColorWell;
class QButtonGroup;
class QCheckBox;
class QComboBox;
class QDateTimeEdit;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableView;
class Scheduler;

inline constexpr const char* kPrefPaneWillOpenNotification = "PrefPaneWillOpenNotificationName";
inline constexpr const char* kPrefPaneWillCloseNotification = "PrefPaneWillCloseNotificationName";
inline constexpr const char* kRadioTimersSettingsHaveChangedNotification = "RadioTimersSettingsHaveChangedNotification";

namespace RadioPrefsKeys {
inline const QString screenName = QStringLiteral("screenname");
inline const QString showNowPlayingOverlay = QStringLiteral("show_nowplaying_overlay");
inline const QString setIChatStatus = QStringLiteral("set_ichat_status");
inline const QString playAtLaunch = QStringLiteral("play_at_launch");
inline const QString networkBandwidthLimit = QStringLiteral("network_bandwidth_limit");
inline const QString updateNoticeCurrent = QStringLiteral("update_notice_current");
inline const QString updateNoticeAll = QStringLiteral("update_notice_all");
inline const QString sleepDate = QStringLiteral("sleep_date");
inline const QString sleepRepeats = QStringLiteral("sleep_repeats");
inline const QString wakeDate = QStringLiteral("wake_date");
inline const QString wakeRepeats = QStringLiteral("wake_repeats");
}  // namespace RadioPrefsKeys

// What the window needs of the application shell.
struct RadioPrefsEnvironment {
    PrefStores stores;
    // The radio service as the application delegate answers it; null while there is none.
    std::function<PresetService*()> radioService;
    // The keyring service name of the main window's sign-on controller.
    std::function<QString()> keychainService;
    bool chatStatusScriptable = true;
    ColorSchemeController* colors = nullptr;  // null: the shared one
    const Clock* clock = nullptr;             // null: the system clock
    QTimeZone timeZone = QTimeZone::systemTimeZone();
    Scheduler* scheduler = nullptr;  // null: the main scheduler
    QString bundleName = QStringLiteral("ZYM Radio");
};

// The window's controls, for the shell's tests and screenshots.
struct RadioPrefsControls {
    QWidget* userSettingsView = nullptr;
    QWidget* radioSettingsView = nullptr;
    QWidget* presetSettingsView = nullptr;
    QWidget* interfaceColorsView = nullptr;
    QWidget* updateSettingsView = nullptr;
    QWidget* timersSettingsView = nullptr;
    QLineEdit* screenNameField = nullptr;
    QLineEdit* passwordField = nullptr;
    QCheckBox* showNowPlayingOverlayCheckbox = nullptr;
    QCheckBox* changeChatStatusCheckbox = nullptr;
    QCheckBox* playAtLaunchCheckbox = nullptr;
    QButtonGroup* networkAccessTypeMatrix = nullptr;
    QTableView* presetTable = nullptr;
    QPushButton* deletePreset = nullptr;
    QComboBox* colorSchemesPopup = nullptr;
    ColorWell* textColorWell = nullptr;        // tag 1
    ColorWell* backgroundColorWell = nullptr;  // tag 2
    QPushButton* resetColorsButton = nullptr;
    QButtonGroup* softwareUpdateMatrix = nullptr;
    QCheckBox* sleepTimerCheckbox = nullptr;
    QDateTimeEdit* sleepTimerDatePicker = nullptr;
    QCheckBox* sleepTimerRepeatsCheckbox = nullptr;
    QLabel* sleepTimerTextField = nullptr;
    QCheckBox* wakeTimerCheckbox = nullptr;
    QDateTimeEdit* wakeTimerDatePicker = nullptr;
    QCheckBox* wakeTimerRepeatsCheckbox = nullptr;
    QLabel* wakeTimerTextField = nullptr;
};

class RadioPrefsWindowController : public PrefsWindowController {
public:
    static inline const QString kRadioPane = QStringLiteral("prefpane.radio_settings");
    static inline const QString kUserPane = QStringLiteral("prefpane.user_settings");
    static inline const QString kPresetPane = QStringLiteral("prefpane.preset_settings");
    static inline const QString kColorsPane = QStringLiteral("prefpane.interface_colors");
    static inline const QString kUpdatePane = QStringLiteral("prefpane.update_settings");
    static inline const QString kTimersPane = QStringLiteral("prefpane.timers_settings");

    explicit RadioPrefsWindowController(RadioPrefsEnvironment environment);
    ~RadioPrefsWindowController() override;

    // The one window, made on first use with `environment` (later calls ignore it).
    static RadioPrefsWindowController& sharedPrefsController(const RadioPrefsEnvironment& environment = {});
    static bool hasSharedPrefsController();
    // At quit: closes the showing pane (its commit runs) and the window, then releases it.
    static void shutdownPrefsController();

    void loadPanes() override;
    void paneWillDisplay(QWidget* view) override;
    bool paneWillClose(QWidget* view) override;
    QString toolbarIdentifier() const override { return QStringLiteral("Radio Prefs Toolbar 1"); }
    QString windowAutosaveName() const override { return QStringLiteral("radio_prefs_window"); }

    void setupBindings();
    const std::vector<std::unique_ptr<PrefViewBinding>>& prefBindings() const { return bindings_; }

    // General and update panes.
    void initRadioPane();
    void termRadioPane();
    void initUpdatePane();
    void termUpdatePane();

    // Presets pane.
    void initPresetsPane();
    void termPresetsPane();
    void updatePresetsUI();
    void clearPreset();
    PresetTableModel* presetModel() const { return presetModel_; }

    // Timers pane.
    void initTimersPane() { timers_->initTimersPane(); }
    void termTimersPane() { timers_->termTimersPane(); }
    void enableSleepTimer() { timers_->enableSleepTimer(); }
    void enableWakeTimer() { timers_->enableWakeTimer(); }
    void updateTimerLabels() { timers_->updateTimerLabels(); }
    bool timersLabelTimerRuns() const { return timers_->timersLabelTimerRuns(); }

    // Colours pane.
    static QPixmap previewImageWithColorScheme(const QVariantMap& scheme);
    void initColorsPane();
    void setupColorWellColors();
    void setupColorSchemesPopup();
    void colorSchemeSelected();
    void chooseColor(ColorWell* well);
    void resetColors();

    // The controls, for the shell's tests and screenshots.
    using Controls = RadioPrefsControls;
    const Controls& controls() const { return c_; }

    // The picker's date and time in the window's time zone.
    QDateTime pickerDate(const QDateTimeEdit* picker) const { return timers_->pickerDate(picker); }
    void setPickerDate(QDateTimeEdit* picker, const QDateTime& date) { timers_->setPickerDate(picker, date); }

private:
    void buildViews();
    QWidget* buildRadioView();
    QWidget* buildUserView();
    QWidget* buildPresetView();
    QWidget* buildColorsView();
    QWidget* buildUpdateView();
    void registerCaching(PrefCachingBinding* binding);
    ColorSchemeController& colors() const;

    RadioPrefsEnvironment env_;
    Controls c_;
    std::vector<std::unique_ptr<PrefViewBinding>> bindings_;
    std::unique_ptr<RadioTimersPane> timers_;
    PresetTableModel* presetModel_ = nullptr;
    PresetService* radioService_ = nullptr;
    std::vector<NotificationCenter::Subscription> presetObservations_;
};
