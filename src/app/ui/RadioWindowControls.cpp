// The controls around the display: window title, play button, presets bar with Option's
// second set, the hover label, the menus and their validation, the space key and the
// station location on the clipboard; playing and storing presets.

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QCursor>
#include <QDialog>
#include <QPointer>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QPushButton>
#include <QSystemTrayIcon>

#include "app/signon/DialogPresenter.h"
#include "app/foundation/NotificationCenter.h"
#include "app/foundation/ServiceLayerError.h"
#include "app/foundation/UserDefaults.h"
#include "app/radio/ZYMRadioStation.h"
#include "app/radio/ZYMRadioStationState.h"
#include "app/ui/Buttons.h"
#include "app/ui/DisplayTexts.h"
#include "app/ui/MenuValidation.h"
#include "app/ui/NowPlayingDisplay.h"
#include "app/radio/RadioMetadataParser.h"
#include "app/ui/RadioStationsDataSource.h"
#include "app/ui/RadioWindowControls.h"
#include "app/ui/RadioWindowController.h"
#include "app/ui/RadioWindowDisplay.h"
#include "app/ui/TextFields.h"
#include "runtime/LogMessage.h"

namespace {
constexpr int kStatActivePresets = 4400;
constexpr auto kHoverDelay = std::chrono::milliseconds(250);
const char* const kActionProperty = "windowAction";
const char* const kTagProperty = "tag";
// The name the preferences window listens for.
const QString kPresetsChanged = QStringLiteral("kRadioServicePresetsChangedNotification");
}  // namespace

class PresetHoverTracker : public MouseTracking {
public:
    explicit PresetHoverTracker(RadioWindowControls& window) : window_(window) {}
    void mouseDidEnterView(QWidget* view) override { window_.mouseDidEnterView(view); }
    void mouseDidExitView(QWidget* view) override { window_.mouseDidExitView(view); }

private:
    RadioWindowControls& window_;
};

// Follows Alt for the presets bar (the events' own modifiers, so synthetic events count)
// and turns a space that no control took into play or stop.
class WindowKeyFilter : public QObject {
public:
    WindowKeyFilter(RadioWindowControls& window, QWidget* top) : window_(window), top_(top) {
        qApp->installEventFilter(this);
    }
    bool alternate() const { return alternate_; }

    bool eventFilter(QObject* watched, QEvent* event) override {
        const auto type = event->type();
        if (type == QEvent::WindowActivate && watched == top_) {
            // An Alt released while another window had the keys (Alt+F4 on the preferences:
            // the window manager takes F4, the window closes before the release) never
            // reaches us; coming back, the keyboard itself says.
            setAlternate(QGuiApplication::queryKeyboardModifiers().testFlag(Qt::AltModifier));
        } else if (type == QEvent::KeyPress || type == QEvent::KeyRelease) {
            auto* key = static_cast<QKeyEvent*>(event);
            if (key->key() == Qt::Key_Alt) {
                // Each key event reaches the filter once per receiver on its way up.
                setAlternate(type == QEvent::KeyPress);
            } else if (watched == top_ && type == QEvent::KeyPress && !key->isAutoRepeat() &&
                       key->text() == QStringLiteral(" ")) {
                window_.insertText(key->text());
                return true;
            }
        }
        return false;
    }

private:
    void setAlternate(bool down) {
        if (down == alternate_) return;
        alternate_ = down;
        window_.updatePresetButtons();
        followMouse();
    }
    void followMouse() {
        // The label follows the relabelled button under the mouse.
        QWidget* under = QApplication::widgetAt(QCursor::pos());
        for (QPushButton* b : window_.presetButtons())
            if (b == under) window_.mouseDidEnterView(b);
    }
    RadioWindowControls& window_;
    QWidget* top_;
    bool alternate_ = false;
};

// ---- set-up --------------------------------------------------------------------------

RadioWindowControls::RadioWindowControls(RadioWindowController& window, WindowControlWidgets widgets)
    : window_(window), widgets_(std::move(widgets)) {}

RadioWindowControls::~RadioWindowControls() = default;

void RadioWindowControls::setup() {
    presetTracker_ = std::make_shared<PresetHoverTracker>(*this);
    for (QPushButton* b : widgets_.presetButtons)
        if (auto* preset = qobject_cast<RolloverButton*>(b)) preset->setMouseTrackingTarget(presetTracker_.get());
    keyFilter_ = std::make_shared<WindowKeyFilter>(*this, window_.window());
    window_.window()->setFocusPolicy(Qt::StrongFocus);
    buildMenus();
}

void RadioWindowControls::buildMenus() {
    controlsMenu_ = window_.menuBar()->addMenu(localized(DisplayKeys::RadioMenuTitle));
    controlsMenu_->setObjectName(QStringLiteral("radioMenu"));
    const auto add = [this](QMenu* menu, const QString& title, MenuAction action, int tag) {
        QAction* item = menu->addAction(title);
        item->setProperty(kActionProperty, int(action));
        item->setProperty(kTagProperty, tag);
        connect(item, &QAction::triggered, this, [this, item] {
            const auto resolved = MenuAction(item->property("resolved").toInt());
            const int slot = item->property(kTagProperty).toInt();
            Guarded("menu", [&] {
                switch (resolved) {
                case MenuAction::Play: window_.play(); break;
                case MenuAction::StopPlaying: window_.stopPlaying(); break;
                case MenuAction::CopyStationLocation:
                    putStationLocationInClipboard(window_.playingStation() ? window_.playingStation().get()
                                                                           : window_.activeStation().get());
                    break;
                case MenuAction::CopyPlayingStationLocation: copyPlayingStationLocation(); break;
                case MenuAction::CopySongInfo: window_.windowDisplay().copySongInfo(); break;
                case MenuAction::PlayPreset: playPreset(slot); break;
                case MenuAction::StorePlayingOnPreset: storePlayingOnPreset(slot); break;
                case MenuAction::StoreSelectionOnPreset: storeSelectionOnPreset(slot); break;
                default: break;
                }
            });
        });
        item->setProperty("resolved", int(action));
        return item;
    };
    add(controlsMenu_, localized(DisplayKeys::RadioWindowTitleIdle), MenuAction::Other, kPlayStopMenuTag);
    add(controlsMenu_, localized(DisplayKeys::CopyStationLocationMenuItem), MenuAction::CopyStationLocation, 0);
    add(controlsMenu_, localized(DisplayKeys::CopyPlayingStationLocationMenuItem),
        MenuAction::CopyPlayingStationLocation, 0);
    add(controlsMenu_, localized(DisplayKeys::CopySongInfoMenuItem), MenuAction::CopySongInfo, 0);
    controlsMenu_->addSeparator();
    for (int slot = 1; slot <= 2 * kPresetButtons; ++slot)
        add(controlsMenu_, QString(), MenuAction::PlayPreset, slot);
    controlsMenu_->addSeparator();
    // The selected station's store commands read as the playing one's: they get a submenu.
    QMenu* storeSelection = controlsMenu_->addMenu(localized(DisplayKeys::StoreSelectionMenuTitle));
    storeSelection->setObjectName(QStringLiteral("storeSelectionMenu"));
    for (int slot = 1; slot <= 2 * kPresetButtons; ++slot)
        add(storeSelection, QString(), MenuAction::StoreSelectionOnPreset, slot);
    for (int slot = 1; slot <= 2 * kPresetButtons; ++slot)
        add(controlsMenu_, QString(), MenuAction::StorePlayingOnPreset, slot);
    connect(controlsMenu_, &QMenu::aboutToShow, this, [this] { validateMenu(controlsMenu_); });

    // The dock's menu lives in the tray icon where the desktop has one.
    trayMenu_ = new QMenu(window_.window());
    trayMenu_->setObjectName(QStringLiteral("trayMenu"));
    for (int tag : {100, 101, 102})
        add(trayMenu_, QString(), MenuAction::NowPlayingDisplay, tag);
    trayMenu_->addSeparator();
    add(trayMenu_, QString(), MenuAction::Other, kPlayStopMenuTag);
    connect(trayMenu_, &QMenu::aboutToShow, this, [this] { validateMenu(trayMenu_); });
    if (QSystemTrayIcon::isSystemTrayAvailable()) {
        auto* tray = new QSystemTrayIcon(QIcon(RadioWindowDisplay::logo()), window_.window());
        tray->setContextMenu(trayMenu_);
        tray->show();
    }
}

// ---- menu validation -----------------------------------------------------------------

MenuState RadioWindowControls::menuState() const {
    MenuState s;
    s.canPlay = window_.canPlay();
    s.preparingBufferingOrPlaying = window_.isPreparingOrBufferingOrPlaying();
    s.hasPlayingStation = bool(window_.playingStation());
    s.hasActiveStation = bool(window_.activeStation());
    const auto sheets = window_.window()->findChildren<QDialog*>(Qt::FindDirectChildrenOnly);
    s.sheetOpen = std::any_of(sheets.begin(), sheets.end(), [](QDialog* d) { return d->isVisible(); });
    if (const RadioMetadataParser* doc = window_.currentTrackMetadata()) {
        s.hasSongDocument = doc->isSong();
        s.songName = doc->songName();
        s.songArtist = doc->songArtist();
        s.songAlbum = doc->songAlbum();
    }
    if (window_.playingStation()) s.playingStationName = window_.playingStation()->name();
    if (window_.radioService().serviceAvailable()) s.presetSlots = window_.radioService().maxNumberOfPresets();
    s.presetStationName = [this](int slot) -> std::optional<QString> {
        if (!window_.radioService().serviceAvailable()) return std::nullopt;
        auto station = window_.radioService().stationForPreset(slot);
        return station ? std::optional<QString>(station->name()) : std::nullopt;
    };
    return s;
}

void RadioWindowControls::validateMenu(QMenu* menu) {
    if (!menu) return;
    const MenuState state = menuState();
    for (QAction* item : menu->actions()) {
        if (item->menu()) validateMenu(item->menu());
        const QVariant action = item->property(kActionProperty);
        if (!action.isValid()) continue;
        const auto v = validate({MenuAction(action.toInt()), item->property(kTagProperty).toInt()}, state);
        item->setProperty("resolved", int(v.action));
        item->setEnabled(v.enabled);
        if (v.title) item->setText(*v.title);
    }
}

// ---- title, play button, presets -----------------------------------------------------

void RadioWindowControls::updateWindowUI() {
    const int state = window_.player() ? window_.player()->playerState() : RadioPlayer::Stopped;
    const bool bufferingOrPlaying = window_.streamPlaying() || state == RadioPlayer::Buffering ||
                                    state == RadioPlayer::Prebuffered || state == RadioPlayer::Playing;
    if (bufferingOrPlaying && window_.playingStation()) {
        const QString name = window_.playingStation()->name();
        window_.window()->setWindowTitle(name.isEmpty()
                                             ? localized(DisplayKeys::RadioWindowTitleIdle)
                                             : localizedFormat(DisplayKeys::RadioWindowTitlePlaying, {name}));
    } else {
        window_.windowDisplay().resetToDefaultAlbumArt();
        window_.window()->setWindowTitle(localized(DisplayKeys::RadioWindowTitleIdle));
        if (!window_.isTerminating()) window_.environment().ads->resetToStaticAd();
    }
    updatePresetButtons();
    window_.updateDisplay();
    updatePlayButtons();
    validateMenu(controlsMenu_);
    validateMenu(trayMenu_);
}

void RadioWindowControls::updatePlayButtons() {
    const bool can = window_.canPlay();
    widgets_.playButton->setEnabled(can);
    const bool stop = can && window_.isPreparingOrBufferingOrPlaying();
    widgets_.playButton->setText(localized(stop ? DisplayKeys::StopButtonLabel : DisplayKeys::PlayButtonLabel));
    widgets_.playButton->setProperty("image", stop ? QStringLiteral("stop_normal") : QStringLiteral("play_normal"));
    widgets_.playButton->setProperty("alternateImage",
                                     stop ? QStringLiteral("stop_pressed") : QStringLiteral("play_pressed"));
}

void RadioWindowControls::resetPresetButtons(bool alternate) {
    for (QPushButton* b : widgets_.presetButtons) {
        auto* preset = qobject_cast<PresetButton*>(b);
        if (!preset) continue;
        int tag = preset->tag();
        if (alternate && tag <= kPresetButtons) tag += kPresetButtons;
        if (!alternate && tag > kPresetButtons) tag -= kPresetButtons;
        if (tag != preset->tag()) {
            preset->setTag(tag);
            preset->setText(QString::number(tag));
        }
        preset->setCheckable(true);
        preset->setChecked(false);
        preset->update();
    }
}

void RadioWindowControls::updatePresetButtons() {
    resetPresetButtons(keyFilter_ && keyFilter_->alternate());
    if (window_.streamPlaying() && window_.playingStation() && window_.radioService().serviceAvailable()) {
        const long slot = window_.radioService().presetIndex(window_.playingStation().get());
        for (QPushButton* b : widgets_.presetButtons)
            if (auto* preset = qobject_cast<PresetButton*>(b); preset && preset->tag() == slot)
                preset->setChecked(true);
    }
    if (const int active = numActivePresets(); active >= 0)
        window_.environment().statistics->setNumber(kStatActivePresets, quint32(active));
}

int RadioWindowControls::numActivePresets() const {
    if (!window_.radioServiceIfMade() || !window_.radioService().serviceAvailable()) return -1;
    int count = 0;
    for (int slot = 1; slot <= window_.radioService().maxNumberOfPresets(); ++slot)
        if (window_.radioService().stationForPreset(slot)) ++count;
    return count;
}

void RadioWindowControls::makeBackupOfPresets() {
    const auto user = window_.radioService().authenticatedUsername(true);
    if (!user || user->isEmpty()) return;
    QStringList ids;
    for (int slot = 1; slot <= window_.radioService().maxNumberOfPresets(); ++slot) {
        auto station = window_.radioService().stationForPreset(slot);
        ids << (station ? station->stationID() : QString(""));
    }
    window_.defaults().setObject(QStringLiteral("preset_stations_") + *user, ids);
}

// ---- hover ---------------------------------------------------------------------------

QLabel* RadioWindowControls::nowPlayingTextLabel() const { return window_.display().hoverLine(); }

void RadioWindowControls::scheduleStationStateRequest(const QString& stationID) {
    // Only the newest pointer position matters; older requests drop themselves.
    auto timer =
        window_.environment().scheduler->singleShot(kHoverDelay, [this, stationID] { requestStationState(stationID); });
    std::erase_if(stationStateTimers_, [](const auto& t) { return !t || !t->isActive(); });
    stationStateTimers_.push_back(std::move(timer));
}

void RadioWindowControls::mouseDidEnterView(QWidget* view) {
    auto* preset = qobject_cast<PresetButton*>(view);
    const int tag = preset ? preset->tag() : 0;
    if (tag < 1 || tag > 2 * kPresetButtons) {
        widgets_.presetsLabel->setText(localized(DisplayKeys::PresetLabel));
        return;
    }
    auto station = window_.radioService().serviceAvailable() ? window_.radioService().stationForPreset(tag) : nullptr;
    if (station) {
        lastStationWithHoverFocus_ = station->stationID();
        widgets_.presetsLabel->setText(station->name());
        if (window_.defaults().boolean(QStringLiteral("use_now_playing")))
            scheduleStationStateRequest(station->stationID());
    } else {
        lastStationWithHoverFocus_.clear();
        widgets_.presetsLabel->setText(localized(DisplayKeys::EmptyPresetLabel));
    }
}

void RadioWindowControls::mouseDidExitView(QWidget* view) {
    auto* preset = qobject_cast<PresetButton*>(view);
    const int tag = preset ? preset->tag() : 0;
    auto station =
        window_.radioService().serviceAvailable() && tag > 0 ? window_.radioService().stationForPreset(tag) : nullptr;
    if (station && station->stationID() != lastStationWithHoverFocus_) return;
    if (window_.window()->isVisible()) {
        // Straight onto a neighbour: its entry has taken over the label.
        auto* under = qobject_cast<PresetButton*>(QApplication::widgetAt(QCursor::pos()));
        if (under && under != preset &&
            std::find(widgets_.presetButtons.begin(), widgets_.presetButtons.end(), under) !=
                widgets_.presetButtons.end())
            return;
    }
    widgets_.presetsLabel->setText(localized(DisplayKeys::PresetLabel));
    lastStationWithHoverFocus_.clear();
    updateNowPlayingTextLabel(nullptr, nullptr);
}

void RadioWindowControls::stationRowEntered(int row) {
    auto item = window_.dataSource().stationItemAtIndex(row);
    if (!item) return;
    const auto& station = item->zymRadioStation();
    lastStationWithHoverFocus_ = station ? station->stationID() : QString();
    if (station && window_.defaults().boolean(QStringLiteral("use_now_playing")))
        scheduleStationStateRequest(station->stationID());
}

void RadioWindowControls::stationRowExited(int row) {
    auto item = window_.dataSource().stationItemAtIndex(row);
    if (!item || item->stationID() != lastStationWithHoverFocus_) return;
    lastStationWithHoverFocus_.clear();
    updateNowPlayingTextLabel(nullptr, nullptr);
}

void RadioWindowControls::clearHoverFocus() {
    lastStationWithHoverFocus_.clear();
    updateNowPlayingTextLabel(nullptr, nullptr);
}

void RadioWindowControls::updateNowPlayingTextLabel(const ZYMRadioStation* station, const ZYMRadioStationState* state) {
    TemporaryTextField* label = window_.display().hoverLine();
    if (!station) {
        label->setStringValue(QString());
    } else if (state && state->canGetTrackDetails()) {
        label->setStringValue(localizedFormat(DisplayKeys::NowPlayingLabelFormat,
                                              {station->name(), state->currentTrackTitle().value_or(QString()),
                                               state->currentTrackArtistName().value_or(QString())}));
    } else {
        label->setStringValue(localizedFormat(DisplayKeys::NowPlayingNoInformationLabelFormat, {station->name()}));
    }
}

// ---- keys and the clipboard ----------------------------------------------------------

void RadioWindowControls::insertText(const QString& text) {
    if (text == QStringLiteral(" ")) window_.togglePlaying();
}

void RadioWindowControls::copySelectedStationLocation() {
    putStationLocationInClipboard(window_.activeStation().get());
}

void RadioWindowControls::copyPlayingStationLocation() {
    putStationLocationInClipboard(window_.playingStation().get());
}

void RadioWindowControls::putStationLocationInClipboard(const ZYMRadioStation* station) {
    if (!station) return;
    auto data = std::make_unique<QMimeData>();
    RadioStationLists::writeStationURL(*data, station->stationID(), station->name(),
                                       station->stationDescription().value_or(QString()));
    QApplication::clipboard()->setMimeData(data.release());
}

// ---- presets -------------------------------------------------------------------------

void RadioWindowControls::playPreset(int preset) {
    auto station = window_.radioService().stationForPreset(preset);
    if (!station) return;
    // Pressing the preset of the station that plays already is no new preset play.
    if (station != window_.playingStation()) window_.environment().statistics->increment(kStatPresetPlays);
    window_.startPlaying(station, true);
}

void RadioWindowControls::storePlayingOnPreset(int preset) { checkStoreStation(window_.playingStation(), preset); }

void RadioWindowControls::storeSelectionOnPreset(int preset) { checkStoreStation(window_.activeStation(), preset); }

void RadioWindowControls::storeStationIDOnPreset(const QString& stationID, int preset) {
    checkStoreStation(window_.radioService().stationWithID(stationID), preset);
}

QString RadioWindowControls::stationIDOnPreset(int preset) const {
    const auto station = window_.radioService().stationForPreset(preset);
    return station ? station->stationID() : QString();
}

void RadioWindowControls::checkStoreStation(const std::shared_ptr<ZYMRadioStation>& station, int preset) {
    if (!station || !presetSlotAvailable(preset)) return;
    if (!window_.radioService().stationExistsOnPresets(station.get())) return doStoreStation(station, preset);
    DialogPresenter& presenter = window_.environment().dialogs();
    const DialogRequest sheet = RadioWindowController::localizedAlert(
        DialogRequest::Style::Informational, "PresetExistsTitle", "PresetExistsMsg", {"PresetExistsDefault", "Cancel"});
    QPointer<RadioWindowControls> self(this);
    presenter.present(sheet, window_.window(), [self, station, preset](int button) {
        if (self && button == 0) self->doStoreStation(station, preset);
    });
}

void RadioWindowControls::doStoreStation(const std::shared_ptr<ZYMRadioStation>& station, int preset) {
    window_.radioService().storeStation(station.get(), preset);
    NotificationCenter& center = window_.environment().serviceNotifications();
    center.post(kPresetsChanged, nullptr);
    updateWindowUI();
}

bool RadioWindowControls::presetSlotAvailable(int preset) {
    const int count = window_.radioService().maxNumberOfPresets();
    if (preset >= 1 && preset <= count) return true;
    LogMessage(kLogInfo, "The account has %d presets; nothing is stored on preset %d.\n", count, preset);
    DialogRequest alert;
    alert.style = DialogRequest::Style::Informational;
    alert.title = alert.messageText = localized(DisplayKeys::PresetUnavailableTitle);
    alert.informativeText =
        localizedFormat(DisplayKeys::PresetUnavailableMsg, {QString::number(preset), QString::number(count)});
    alert.buttons << localized(DisplayKeys::PresetUnavailableOK);
    DialogPresenter& presenter = window_.environment().dialogs();
    presenter.present(alert, window_.window(), [](int) {});
    return false;
}

void RadioWindowControls::requestStationState(const QString& stationID) {
    if (!window_.defaults().boolean(QStringLiteral("use_now_playing"))) return;
    if (!window_.radioServiceIfMade() || !window_.radioService().serviceAvailable() ||
        stationID != lastStationWithHoverFocus_)
        return;
    window_.radioService().requestStateForStations({stationID}, window_.networkBandwidthLimitPreference());
}
