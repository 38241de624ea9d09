#pragma once
// How the main window collapses and grows: the lists leave when they would be shorter
// than kMinSearchPanelHeight, then the presets bar; growing brings the presets bar back
// first. Also the zoom size and the limits of the split between the two lists. Pure
// arithmetic on the window's measures (pixels, Qt's y downwards), so it is tested alone.

#include <QRect>
#include <QSize>

struct WindowLayoutMeasures {
    int topPanelHeight = 0;
    int presetsPanelHeight = 0;
    int gapBelowTopPanel = 0;
    int gapBetweenSourceAndStationList = 0;
    int verticalSpaceAroundContentContainer = 0;
    int horizontalSpaceAroundContentContainer = 0;
    int verticalSpaceAroundSourceListView = 0;
};

// Which of the two lower panels are in the window.
struct WindowPanels {
    bool presets = true;
    bool stations = true;
    bool operator==(const WindowPanels&) const = default;
};

class WindowLayoutPolicy {
public:
    static constexpr int kMinSearchPanelHeight = 170;
    static constexpr int kMinSourceListWidth = 100;

    explicit WindowLayoutPolicy(WindowLayoutMeasures measures = {}) : m_(measures) {}
    const WindowLayoutMeasures& measures() const { return m_; }

    struct Resize {
        WindowPanels panels;
        int contentHeight;
    };
    // The window is about to take `contentHeight`: the panels that must leave, and the
    // height the window snaps to.
    Resize willResize(int contentHeight, WindowPanels panels) const;
    // The window took its size, the contents container being `containerHeight` high: the
    // panels that come back.
    WindowPanels didResize(int containerHeight, WindowPanels panels) const;

    // 2 with both panels, 1 with the presets bar alone, else 0.
    static int uiState(WindowPanels panels);

    // Content heights of the collapsed layouts.
    int displayAndPresetsHeight() const;
    int displayOnlyHeight() const;

    // The zoomed content rectangle: as large as the lists' contents need, clamped to the
    // window's limits (the maximum last), its top-left at the top-left of `defaultFrame`.
    QRect zoomedContentRect(const QRect& defaultFrame, int sourceListWidth, int maxStationsListContainerHeight,
                            int maxStationListWidth, QSize minSize, QSize maxSize) const;

    // Limits of the source list's width as the divider moves: at least 100, at most what
    // its widest row needs.
    static int minSourceListWidth(int proposed) {
        return proposed < kMinSourceListWidth ? kMinSourceListWidth : proposed;
    }
    static int maxSourceListWidth(int proposed, int widestRow) { return proposed > widestRow ? widestRow : proposed; }

private:
    int fixedPanelsHeight() const;

    WindowLayoutMeasures m_;
};
