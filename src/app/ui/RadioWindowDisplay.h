#pragma once
// The main window's now-playing display as the listener sees it: its two lines from the
// player's state, the current track's document and the service; the progress text, the
// link menus, the album art, the song-time label, and the chat status that tells others
// what plays.

#include <QObject>
#include <QPixmap>
#include <QString>

#include <functional>
#include <map>
#include <memory>
#include <optional>

#include "app/foundation/Clock.h"
#include "app/ui/ChatStatus.h"
#include "app/ui/RadioTrackTimeController.h"

class ColorSchemeController;
class DisplayLineDelegate;
class LineLayoutView;
class NowPlayingDisplay;
class QAction;
class QMenu;
class RadioWindowController;
class ZYMRadioStation;
struct LineString;

class RadioWindowDisplay : public QObject {
    Q_OBJECT
public:
    RadioWindowDisplay(RadioWindowController& window, NowPlayingDisplay& display);
    ~RadioWindowDisplay() override;
    // The link menus, the lines' buttons, the song-time label's click and the default art.
    void setup();

    static QPixmap logo();
    NowPlayingDisplay& display() const { return display_; }
    // The display's colours; the application's scheme unless set.
    void setColorSchemeController(ColorSchemeController* colors);
    ColorSchemeController& colors() const;
    // Hooks of the neighbours: the chat status and the now-playing overlay.
    void setChatStatusRefresher(std::function<void()> refresh) { refreshChatStatus_ = std::move(refresh); }
    void setNowPlayingOverlayShower(std::function<void()> show) { showNowPlayingOverlay_ = std::move(show); }
    void refreshChatStatus() const {
        if (refreshChatStatus_) refreshChatStatus_();
    }
    void showNowPlayingOverlay() const {
        if (showNowPlayingOverlay_) showNowPlayingOverlay_();
    }

    void setProgressText(const QString& text);
    void stopProgress() { setProgressText(QString()); }
    QString progressText() const { return progressText_; }
    QString displayText() const;
    QString lineText(int line) const;
    void updateDisplay();
    LineString nowPlayingAttributedStringWithFormat(const QString& format) const;
    LineString notConnectedAttributedStringWithFormat(const QString& format) const;
    void showStationInDisplay(const ZYMRadioStation* station);

    QMenu* linkMenu(int tag) const;
    void prepareLinkMenu(int tag);
    void loadMetadataLink(QAction* item);
    void copySongInfo();
    // A document's button popped up its menu (the display-button notice's object).
    void linkButtonWillPopUp(const void* button);

    void resetToDefaultAlbumArt();
    // The art of the track that starts, the logo when it has none.
    void showTrackAlbumArt();
    void albumArtLoadingNotification(const void* parser);
    void albumArtLoaded(const void* parser);
    void setAlbumArtFolder(const QString& folder) { albumArtFolder_ = folder; }
    void interfaceColorsChanged();

    // The chat clients' status tells what plays.
    void setupChatStatus();
    void setChatScriptRunner(ScriptRunner& runner);
    ChatStatus& chatStatus() { return *chatStatus_; }
    void updateIChatNowPlaying();
    void clearIChatNowPlaying(bool force);
    // The chat-status preference was switched.
    void chatStatusPreferenceChanged();

    // The song-time label: 0 shows the time, 2 the stream format for 5 s.
    RadioTrackTimeController* trackTimer() const { return trackTimer_.get(); }
    void updateTrackTimer(float position, float total);
    void trackTimeUpdate(RadioTrackTimeController& ticker);
    void trackEnded();
    void updateSongTimeLabel(const std::optional<QString>& text);
    void toggleSongTimeLabelState();
    void setSongTimeLabelState(int state);
    int songTimeLabelState() const { return songTimeLabelState_; }
    QString songTimeLabelText() const;

private:
    void setValueOfNowPlayingView(LineLayoutView* view, const QString& text);
    LineString plainLine(const QString& text) const;

    RadioWindowController& window_;
    NowPlayingDisplay& display_;
    QString progressText_;
    ColorSchemeController* colors_ = nullptr;
    std::function<void()> refreshChatStatus_;
    std::function<void()> showNowPlayingOverlay_;
    std::map<int, QMenu*> linkMenus_;
    std::shared_ptr<DisplayLineDelegate> lineDelegate_;
    std::unique_ptr<RadioTrackTimeController> trackTimer_;
    int songTimeLabelState_ = 0;
    std::unique_ptr<ScheduledTimer> songTimeLabelTimer_;
    QString albumArtFolder_;
    std::unique_ptr<ChatStatus> chatStatus_;
};
