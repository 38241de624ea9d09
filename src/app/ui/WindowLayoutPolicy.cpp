#include "app/ui/WindowLayoutPolicy.h"

#include <algorithm>

int WindowLayoutPolicy::fixedPanelsHeight() const {
    return m_.verticalSpaceAroundContentContainer + m_.topPanelHeight + m_.gapBelowTopPanel + m_.presetsPanelHeight;
}

int WindowLayoutPolicy::displayAndPresetsHeight() const { return fixedPanelsHeight(); }

int WindowLayoutPolicy::displayOnlyHeight() const { return m_.topPanelHeight + m_.verticalSpaceAroundContentContainer; }

WindowLayoutPolicy::Resize WindowLayoutPolicy::willResize(int contentHeight, WindowPanels panels) const {
    Resize r{panels, contentHeight};
    const int fixed = fixedPanelsHeight();
    // Both tests look at the height asked for, not at the snapped one.
    if (kMinSearchPanelHeight + fixed > contentHeight) {
        r.panels.stations = false;
        r.contentHeight = displayAndPresetsHeight();
    }
    if (fixed > contentHeight) {
        r.panels.presets = false;
        r.contentHeight = displayOnlyHeight();
    }
    return r;
}

WindowPanels WindowLayoutPolicy::didResize(int containerHeight, WindowPanels panels) const {
    const int top = m_.topPanelHeight + m_.gapBelowTopPanel + m_.presetsPanelHeight;
    if (!panels.presets && containerHeight >= top) panels.presets = true;
    if (!panels.stations && containerHeight >= top + kMinSearchPanelHeight) panels.stations = true;
    return panels;
}

int WindowLayoutPolicy::uiState(WindowPanels panels) {
    if (panels.stations && panels.presets) return 2;
    if (panels.presets) return 1;
    return 0;
}

QRect WindowLayoutPolicy::zoomedContentRect(const QRect& defaultFrame, int sourceListWidth,
                                            int maxStationsListContainerHeight, int maxStationListWidth, QSize minSize,
                                            QSize maxSize) const {
    int height = fixedPanelsHeight() + m_.verticalSpaceAroundSourceListView + maxStationsListContainerHeight;
    int width = m_.horizontalSpaceAroundContentContainer + sourceListWidth + m_.gapBetweenSourceAndStationList +
                maxStationListWidth;
    height = std::min(std::max(height, minSize.height()), maxSize.height());
    width = std::min(std::max(width, minSize.width()), maxSize.width());
    return QRect(defaultFrame.topLeft(), QSize(width, height));
}
