#pragma once
// The main window's layout: the panels that leave and come back as the window is resized,
// the UI state they make, the zoom, the split between the lists, the frame kept across runs,
// the ad panel beside the lists with the ads it shows, and the now-playing overlay.

#include <QObject>
#include <QSize>
#include <QString>

#include <memory>
#include <optional>
#include <vector>

#include "app/ui/WindowLayoutPolicy.h"

class AdPresenter;
class NowPlayingOverlayController;
class QSplitter;
class QWidget;
class RadioWindowController;
class ZYMRadioStationBanner;

// The containers the window is built of, from the top.
struct WindowContainers {
    QWidget* contents = nullptr;
    QWidget* playControls = nullptr;
    QWidget* gapBelowTopPanel = nullptr;
    QWidget* presetControls = nullptr;
    QWidget* stationsList = nullptr;
    QSplitter* splitter = nullptr;
};

class RadioWindowLayout : public QObject {
    Q_OBJECT
public:
    static constexpr int kStatUIStateTimers[3] = {4397, 4398, 4399};
    static constexpr int kStatUIState = 4401;
    static constexpr QSize kAdSize{300, 250};
    static constexpr QSize kAdViewSize{320, 260};
    static inline const QString kFrameAutosaveName = QStringLiteral("Radio Window");

    RadioWindowLayout(RadioWindowController& window, WindowContainers panels);
    ~RadioWindowLayout() override;
    // The containers, the divider's limits, the zoom item, the measures and the ad panel.
    void setup();
    // The frame of an earlier run comes back, fitted to the screens, and is kept from now on.
    void restoreFrameAndAutosave();
    void saveWindowFrame() const;

    // -1 before the first record; then WindowLayoutPolicy::uiState of the panels shown.
    int uiState() const { return uiState_; }
    WindowPanels panelsShown() const;
    const WindowLayoutPolicy& layoutPolicy() const { return layoutPolicy_; }
    void recordUIState();
    // The size that shows every source and station, the window's top-left kept.
    void zoom();
    QSplitter& listSplitter() { return *panels_.splitter; }

    QWidget* adPanel() const { return adPanel_; }
    void updateAdDrawer();
    bool shouldAdDisplay() const;
    void setAdHeight(int height) { adHeight_ = height; }
    void displayAdWithBanners(const std::vector<std::shared_ptr<const ZYMRadioStationBanner>>& banners,
                              const QString& flavorId);
    void displayAdForPlayingStation();
    void displayAdForTrackMetadata();

    NowPlayingOverlayController* nowPlayingOverlay() const { return overlay_.get(); }
    void showNowPlayingOverlay();

private:
    class AdDrawer;
    void computeDimensions();
    void windowDidResize();
    void setPanelsShown(WindowPanels panels);
    void setupAdView();
    void updateSourceListLimits();
    bool applicationActive() const;
    bool eventFilter(QObject* watched, QEvent* event) override;

    RadioWindowController& window_;
    WindowContainers panels_;
    QWidget* adPanel_ = nullptr;
    int adHeight_ = 260;
    WindowLayoutPolicy layoutPolicy_;
    int uiState_ = -1;
    bool resizing_ = false;
    std::optional<int> zoomedHeight_;
    int sourceListWantedWidth_ = 0;
    // Shared only so that this header need not complete their types.
    std::shared_ptr<AdDrawer> adDrawer_;
    std::shared_ptr<NowPlayingOverlayController> overlay_;
};
