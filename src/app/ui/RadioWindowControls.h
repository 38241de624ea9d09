#pragma once
// The controls around the main window's display: the window title, the play button, the
// presets bar with Alt's second set and its hover label, the station under the pointer,
// the menus and their validation, the space key, the station location on the clipboard,
// and playing and storing presets.

#include <QObject>
#include <QString>

#include <memory>
#include <vector>

#include "app/foundation/Clock.h"

class QLabel;
class QMenu;
class QPushButton;
class QWidget;
class RadioWindowController;
class ZYMRadioStation;
class ZYMRadioStationState;
class PresetHoverTracker;
class WindowKeyFilter;
struct MenuState;

// The widgets of the controls, made with the window.
struct WindowControlWidgets {
    QPushButton* playButton = nullptr;
    std::vector<QPushButton*> presetButtons;
    QLabel* presetsLabel = nullptr;
};

class RadioWindowControls : public QObject {
    Q_OBJECT
public:
    static constexpr int kStatPresetPlays = 4393;
    // Preset buttons in the window; the alternate set holds as many more.
    static constexpr int kPresetButtons = 5;

    RadioWindowControls(RadioWindowController& window, WindowControlWidgets widgets);
    ~RadioWindowControls() override;
    // The presets' hover, the keys and the menus.
    void setup();

    QPushButton* playStopButton() const { return widgets_.playButton; }
    const std::vector<QPushButton*>& presetButtons() const { return widgets_.presetButtons; }
    QLabel* presetsTextLabel() const { return widgets_.presetsLabel; }
    QLabel* nowPlayingTextLabel() const;

    void updateWindowUI();
    void updatePlayButtons();
    void resetPresetButtons(bool alternate);
    void updatePresetButtons();
    int numActivePresets() const;
    void makeBackupOfPresets();

    // Presets (numbered from 1); a station already on one is stored only when the listener
    // confirms.
    void playPreset(int preset);
    void storePlayingOnPreset(int preset);
    void storeSelectionOnPreset(int preset);
    void storeStationIDOnPreset(const QString& stationID, int preset);
    QString stationIDOnPreset(int preset) const;
    void checkStoreStation(const std::shared_ptr<ZYMRadioStation>& station, int preset);
    void doStoreStation(const std::shared_ptr<ZYMRadioStation>& station, int preset);
    // False, once the listener is told why, for a slot the account does not have.
    bool presetSlotAvailable(int preset);

    // The station under the pointer and the hover label.
    void mouseDidEnterView(QWidget* view);
    void mouseDidExitView(QWidget* view);
    void stationRowEntered(int row);
    void stationRowExited(int row);
    void clearHoverFocus();
    QString lastStationWithHoverFocus() const { return lastStationWithHoverFocus_; }
    void setLastStationWithHoverFocus(const QString& stationID) { lastStationWithHoverFocus_ = stationID; }
    void updateNowPlayingTextLabel(const ZYMRadioStation* station, const ZYMRadioStationState* state);
    void requestStationState(const QString& stationID);

    void insertText(const QString& text);
    void copySelectedStationLocation();
    void copyPlayingStationLocation();
    void putStationLocationInClipboard(const ZYMRadioStation* station);

    MenuState menuState() const;
    // Validates and retitles every item of `menu` that carries a window action.
    void validateMenu(QMenu* menu);
    QMenu* controlsMenu() const { return controlsMenu_; }
    QMenu* trayMenu() const { return trayMenu_; }

private:
    void buildMenus();
    void scheduleStationStateRequest(const QString& stationID);

    RadioWindowController& window_;
    WindowControlWidgets widgets_;
    QString lastStationWithHoverFocus_;
    std::vector<std::unique_ptr<ScheduledTimer>> stationStateTimers_;
    std::shared_ptr<PresetHoverTracker> presetTracker_;
    std::shared_ptr<WindowKeyFilter> keyFilter_;
    QMenu* controlsMenu_ = nullptr;
    QMenu* trayMenu_ = nullptr;
};
