// The controls around the display: window title, play button, presets bar with Option's
// second set, the hover label, the menus and their validation, the space key and the
// station location on the clipboard; the preference notices, the album-art store and the
// loading sheet.

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QCursor>
#include <QDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QSystemTrayIcon>
#include <QVBoxLayout>

#include "app/signon/AuthenticationController.h"
#include "app/foundation/ServiceLayerError.h"
#include "app/foundation/UserDefaults.h"
#include "app/radio/ZYMRadioStation.h"
#include "app/radio/ZYMRadioStationState.h"
#include "app/ui/Buttons.h"
#include "app/ui/ColorSchemeController.h"
#include "app/ui/DisplayLineDelegate.h"
#include "app/ui/DisplayTexts.h"
#include "app/ui/LineLayoutView.h"
#include "app/ui/MenuValidation.h"
#include "app/ui/NowPlayingDisplay.h"
#include "app/ui/PreferenceNotices.h"
#include "app/radio/RadioMetadataParser.h"
#include "app/ui/RadioStationsDataSource.h"
#include "app/ui/RadioWindowController.h"
#include "app/ui/TextFields.h"
#include "runtime/LogMessage.h"

namespace {
constexpr int kStatActivePresets = 4400;
constexpr auto kHoverDelay = std::chrono::milliseconds(250);
constexpr auto kSheetDelay = std::chrono::seconds(2);
const char* const kActionProperty = "windowAction";
const char* const kTagProperty = "tag";
}  // namespace

class PresetHoverTracker : public MouseTracking {
public:
    explicit PresetHoverTracker(RadioWindowController& window) : window_(window) {}
    void mouseDidEnterView(QWidget* view) override { window_.mouseDidEnterView(view); }
    void mouseDidExitView(QWidget* view) override { window_.mouseDidExitView(view); }

private:
    RadioWindowController& window_;
};

// Follows Alt for the presets bar (the events' own modifiers, so synthetic events count)
// and turns a space that no control took into play or stop.
class WindowKeyFilter : public QObject {
public:
    WindowKeyFilter(RadioWindowController& window, QWidget* top) : window_(window), top_(top) {
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
    RadioWindowController& window_;
    QWidget* top_;
    bool alternate_ = false;
};

// ---- set-up --------------------------------------------------------------------------

void RadioWindowController::setupDisplayAndControls() {
    for (int tag : {200, 201, 202}) {
        auto* menu = new QMenu(window_.get());
        menu->setObjectName(QStringLiteral("linkMenu%1").arg(tag));
        QAction* store = menu->addAction(localized(DisplayKeys::LinkMenuStoreItem));
        QAction* guide = menu->addAction(localized(DisplayKeys::LinkMenuGuideItem));
        store->setProperty(kTagProperty, 100);
        guide->setProperty(kTagProperty, 101);
        for (QAction* item : {store, guide})
            connect(item, &QAction::triggered, this, [this, item] { loadMetadataLink(item); });
        linkMenus_[tag] = menu;
    }
    lineDelegate_ = std::make_shared<DisplayLineDelegate>(*this);
    display_->line1()->setDelegate(lineDelegate_.get());
    display_->line2()->setDelegate(lineDelegate_.get());
    connect(display_->songTimeLabel(), &ClickableTextField::clicked, this, [this] { toggleSongTimeLabelState(); });
    resetToDefaultAlbumArt();

    presetTracker_ = std::make_shared<PresetHoverTracker>(*this);
    for (QPushButton* b : presetButtons_)
        if (auto* preset = qobject_cast<RolloverButton*>(b)) preset->setMouseTrackingTarget(presetTracker_.get());
    keyFilter_ = std::make_shared<WindowKeyFilter>(*this, window_.get());
    window_->setFocusPolicy(Qt::StrongFocus);
    const QString nowPlaying = QStringLiteral("use_now_playing");
    stationTable_->enableRowMouseTracking(!defaults_.object(nowPlaying).isValid() || defaults_.boolean(nowPlaying));

    progressPanel_ = new QDialog(window_.get());
    progressPanel_->setObjectName(QStringLiteral("radioProgressPanel"));
    progressPanel_->setWindowModality(Qt::WindowModal);
    auto* sheet = new QVBoxLayout(progressPanel_);
    progressTitle_ = new QLabel;
    progressIndicator_ = new QProgressBar;
    auto* button = new QPushButton(localized(DisplayKeys::ProgressPanelButton));
    button->setObjectName(QStringLiteral("radioProgressButton"));
    button->setAutoDefault(false);
    sheet->addWidget(progressTitle_);
    sheet->addWidget(progressIndicator_);
    sheet->addWidget(button, 0, Qt::AlignRight);
    connect(button, &QPushButton::clicked, progressPanel_, [this] { progressPanel_->done(0); });
    connect(progressPanel_, &QDialog::finished, this, [this](int code) { radioProgressPanelDidEnd(code); });

    refreshChatStatus_ = [this] { updateIChatNowPlaying(); };
    showNowPlayingOverlay_ = [this] { showNowPlayingOverlay(); };
    buildMenus();
    registerForNotifications();
    interfaceColorsChanged();
}

void RadioWindowController::registerForNotifications() {
    NotificationCenter& app = NotificationCenter::defaultCenter();
    NotificationCenter& service =
        env_.service.notifications ? *env_.service.notifications : NotificationCenter::defaultCenter();
    std::vector<NotificationCenter*> centers{&app};
    if (&service != &app) centers.push_back(&service);
    for (NotificationCenter* center : centers) {
        subscriptions_.push_back(
            center->observe(RadioMetadataParser::kAlbumArtNotificationName, nullptr, [this](const Notification& n) {
                albumArtLoadingNotification(n.object);
                albumArtLoaded(n.object);
            }));
        subscriptions_.push_back(center->observe(QString::fromLatin1(kPrefObjectChangedNotification), nullptr,
                                                 [this](const Notification& n) { prefChangedNotification(n); }));
        subscriptions_.push_back(center->observe(QString::fromLatin1(kDisplayButtonWillPopUpNotification), nullptr,
                                                 [this](const Notification& n) {
                                                     if (DisplayButton* b = lineDelegate_->button(n.object))
                                                         prepareLinkMenu(b->tag());
                                                 }));
        subscriptions_.push_back(center->observe(QString::fromLatin1(kColorSchemeColorChangedNotification), nullptr,
                                                 [this](const Notification&) { interfaceColorsChanged(); }));
    }
    subscriptions_.push_back(service.observe(QStringLiteral("kRadioServicePresetsChangedNotification"), nullptr,
                                             [this](const Notification&) {
                                                 updatePresetButtons();
                                                 makeBackupOfPresets();
                                             }));
}

void RadioWindowController::buildMenus() {
    controlsMenu_ = menuBar_->addMenu(localized(DisplayKeys::RadioMenuTitle));
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
                case MenuAction::Play: play(); break;
                case MenuAction::StopPlaying: stopPlaying(); break;
                case MenuAction::CopyStationLocation:
                    putStationLocationInClipboard(playingStation() ? playingStation().get() : activeStation().get());
                    break;
                case MenuAction::CopyPlayingStationLocation: copyPlayingStationLocation(); break;
                case MenuAction::CopySongInfo: copySongInfo(); break;
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
    trayMenu_ = new QMenu(window_.get());
    trayMenu_->setObjectName(QStringLiteral("trayMenu"));
    for (int tag : {100, 101, 102})
        add(trayMenu_, QString(), MenuAction::NowPlayingDisplay, tag);
    trayMenu_->addSeparator();
    add(trayMenu_, QString(), MenuAction::Other, kPlayStopMenuTag);
    connect(trayMenu_, &QMenu::aboutToShow, this, [this] { validateMenu(trayMenu_); });
    if (QSystemTrayIcon::isSystemTrayAvailable()) {
        auto* tray = new QSystemTrayIcon(QIcon(logo()), window_.get());
        tray->setContextMenu(trayMenu_);
        tray->show();
    }
}

// ---- menu validation -----------------------------------------------------------------

MenuState RadioWindowController::menuState() const {
    MenuState s;
    s.canPlay = canPlay();
    s.preparingBufferingOrPlaying = isPreparingOrBufferingOrPlaying();
    s.hasPlayingStation = bool(playingStation());
    s.hasActiveStation = bool(activeStation());
    const auto sheets = window_->findChildren<QDialog*>(Qt::FindDirectChildrenOnly);
    s.sheetOpen = std::any_of(sheets.begin(), sheets.end(), [](QDialog* d) { return d->isVisible(); });
    if (const RadioMetadataParser* doc = currentTrackMetadata()) {
        s.hasSongDocument = doc->isSong();
        s.songName = doc->songName();
        s.songArtist = doc->songArtist();
        s.songAlbum = doc->songAlbum();
    }
    if (playingStation()) s.playingStationName = playingStation()->name();
    if (radioService_->serviceAvailable()) s.presetSlots = radioService_->maxNumberOfPresets();
    s.presetStationName = [this](int slot) -> std::optional<QString> {
        if (!radioService_->serviceAvailable()) return std::nullopt;
        auto station = radioService_->stationForPreset(slot);
        return station ? std::optional<QString>(station->name()) : std::nullopt;
    };
    return s;
}

void RadioWindowController::validateMenu(QMenu* menu) {
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

void RadioWindowController::updateWindowUI() {
    const int state = player() ? player()->playerState() : RadioPlayer::Stopped;
    const bool bufferingOrPlaying = streamPlaying() || state == RadioPlayer::Buffering ||
                                    state == RadioPlayer::Prebuffered || state == RadioPlayer::Playing;
    if (bufferingOrPlaying && playingStation()) {
        const QString name = playingStation()->name();
        window_->setWindowTitle(name.isEmpty() ? localized(DisplayKeys::RadioWindowTitleIdle)
                                               : localizedFormat(DisplayKeys::RadioWindowTitlePlaying, {name}));
    } else {
        if (display_) resetToDefaultAlbumArt();
        window_->setWindowTitle(localized(DisplayKeys::RadioWindowTitleIdle));
        if (!isTerminating_) env_.ads->resetToStaticAd();
    }
    updatePresetButtons();
    updateDisplay();
    updatePlayButtons();
    validateMenu(controlsMenu_);
    validateMenu(trayMenu_);
}

void RadioWindowController::updatePlayButtons() {
    const bool can = canPlay();
    playButton_->setEnabled(can);
    const bool stop = can && isPreparingOrBufferingOrPlaying();
    playButton_->setText(localized(stop ? DisplayKeys::StopButtonLabel : DisplayKeys::PlayButtonLabel));
    playButton_->setProperty("image", stop ? QStringLiteral("stop_normal") : QStringLiteral("play_normal"));
    playButton_->setProperty("alternateImage", stop ? QStringLiteral("stop_pressed") : QStringLiteral("play_pressed"));
}

void RadioWindowController::resetPresetButtons(bool alternate) {
    for (QPushButton* b : presetButtons_) {
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

void RadioWindowController::updatePresetButtons() {
    resetPresetButtons(keyFilter_ && keyFilter_->alternate());
    if (streamPlaying() && playingStation() && radioService_->serviceAvailable()) {
        const long slot = radioService_->presetIndex(playingStation().get());
        for (QPushButton* b : presetButtons_)
            if (auto* preset = qobject_cast<PresetButton*>(b); preset && preset->tag() == slot)
                preset->setChecked(true);
    }
    if (const int active = numActivePresets(); active >= 0)
        env_.statistics->setNumber(kStatActivePresets, quint32(active));
}

int RadioWindowController::numActivePresets() const {
    if (!radioService_ || !radioService_->serviceAvailable()) return -1;
    int count = 0;
    for (int slot = 1; slot <= radioService_->maxNumberOfPresets(); ++slot)
        if (radioService_->stationForPreset(slot)) ++count;
    return count;
}

void RadioWindowController::makeBackupOfPresets() {
    const auto user = radioService_->authenticatedUsername(true);
    if (!user || user->isEmpty()) return;
    QStringList ids;
    for (int slot = 1; slot <= radioService_->maxNumberOfPresets(); ++slot) {
        auto station = radioService_->stationForPreset(slot);
        ids << (station ? station->stationID() : QString(""));
    }
    defaults_.setObject(QStringLiteral("preset_stations_") + *user, ids);
}

// ---- hover ---------------------------------------------------------------------------

QLabel* RadioWindowController::nowPlayingTextLabel() const { return display_->hoverLine(); }

void RadioWindowController::scheduleStationStateRequest(const QString& stationID) {
    // Only the newest pointer position matters; older requests drop themselves.
    auto timer = env_.scheduler->singleShot(kHoverDelay, [this, stationID] { requestStationState(stationID); });
    std::erase_if(stationStateTimers_, [](const auto& t) { return !t || !t->isActive(); });
    stationStateTimers_.push_back(std::move(timer));
}

void RadioWindowController::mouseDidEnterView(QWidget* view) {
    auto* preset = qobject_cast<PresetButton*>(view);
    const int tag = preset ? preset->tag() : 0;
    if (tag < 1 || tag > 2 * kPresetButtons) {
        presetsLabel_->setText(localized(DisplayKeys::PresetLabel));
        return;
    }
    auto station = radioService_->serviceAvailable() ? radioService_->stationForPreset(tag) : nullptr;
    if (station) {
        lastStationWithHoverFocus_ = station->stationID();
        presetsLabel_->setText(station->name());
        if (defaults_.boolean(QStringLiteral("use_now_playing"))) scheduleStationStateRequest(station->stationID());
    } else {
        lastStationWithHoverFocus_.clear();
        presetsLabel_->setText(localized(DisplayKeys::EmptyPresetLabel));
    }
}

void RadioWindowController::mouseDidExitView(QWidget* view) {
    auto* preset = qobject_cast<PresetButton*>(view);
    const int tag = preset ? preset->tag() : 0;
    auto station = radioService_->serviceAvailable() && tag > 0 ? radioService_->stationForPreset(tag) : nullptr;
    if (station && station->stationID() != lastStationWithHoverFocus_) return;
    if (window_->isVisible()) {
        // Straight onto a neighbour: its entry has taken over the label.
        auto* under = qobject_cast<PresetButton*>(QApplication::widgetAt(QCursor::pos()));
        if (under && under != preset &&
            std::find(presetButtons_.begin(), presetButtons_.end(), under) != presetButtons_.end())
            return;
    }
    presetsLabel_->setText(localized(DisplayKeys::PresetLabel));
    lastStationWithHoverFocus_.clear();
    updateNowPlayingTextLabel(nullptr, nullptr);
}

void RadioWindowController::stationRowEntered(int row) {
    auto item = dataSource_->stationItemAtIndex(row);
    if (!item) return;
    const auto& station = item->zymRadioStation();
    lastStationWithHoverFocus_ = station ? station->stationID() : QString();
    if (station && defaults_.boolean(QStringLiteral("use_now_playing")))
        scheduleStationStateRequest(station->stationID());
}

void RadioWindowController::stationRowExited(int row) {
    auto item = dataSource_->stationItemAtIndex(row);
    if (!item || item->stationID() != lastStationWithHoverFocus_) return;
    lastStationWithHoverFocus_.clear();
    updateNowPlayingTextLabel(nullptr, nullptr);
}

void RadioWindowController::clearHoverFocus() {
    lastStationWithHoverFocus_.clear();
    updateNowPlayingTextLabel(nullptr, nullptr);
}

void RadioWindowController::updateNowPlayingTextLabel(const ZYMRadioStation* station,
                                                      const ZYMRadioStationState* state) {
    TemporaryTextField* label = display_->hoverLine();
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

void RadioWindowController::insertText(const QString& text) {
    if (text == QStringLiteral(" ")) togglePlaying();
}

void RadioWindowController::copySelectedStationLocation() { putStationLocationInClipboard(activeStation().get()); }

void RadioWindowController::copyPlayingStationLocation() { putStationLocationInClipboard(playingStation().get()); }

void RadioWindowController::putStationLocationInClipboard(const ZYMRadioStation* station) {
    if (!station) return;
    auto data = std::make_unique<QMimeData>();
    RadioStationLists::writeStationURL(*data, station->stationID(), station->name(),
                                       station->stationDescription().value_or(QString()));
    QApplication::clipboard()->setMimeData(data.release());
}

// ---- preferences ---------------------------------------------------------------------

void RadioWindowController::prefChangedNotification(const Notification& notification) {
    checkDefaultsForChange(PreferenceNotices::changedKeys(notification));
}

// ---- the loading sheet ---------------------------------------------------------------

void RadioWindowController::showRadioProgressPanel(int maximum) {
    progressTitle_->setText(localized(DisplayKeys::ProgressPanelTitle));
    progressIndicator_->setRange(0, std::max(0, maximum));
    progressIndicator_->setValue(0);
    if (progressPanel_->isVisible()) return;
    // Shown only when loading lasts; a quick load never flashes it.
    progressTimer_ = env_.scheduler->singleShot(kSheetDelay, [this] {
        auto self = std::move(progressTimer_);
        progressPanel_->open();
    });
}

void RadioWindowController::updateRadioProgressPanel(const QString& text, int value) {
    if (!text.isNull()) progressTitle_->setText(text);
    progressIndicator_->setValue(value);
    progressPanel_->update();
}

void RadioWindowController::hideRadioProgressPanel() {
    progressTimer_.reset();
    if (progressPanel_ && progressPanel_->isVisible()) progressPanel_->done(1);
}

bool RadioWindowController::radioProgressPanelVisible() const { return progressPanel_ && progressPanel_->isVisible(); }

void RadioWindowController::radioProgressPanelDidEnd(int code) {
    progressPanel_->hide();
    if (code == 0) signOff();
}
