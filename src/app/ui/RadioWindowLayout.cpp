// The main window's layout: the panels that leave and come back as the window is resized,
// the UI state they make, the zoom, the split between the lists and the ad panel; and the
// now-playing overlay at each song's start.

#include <QApplication>
#include <QDesktopServices>
#include <QEvent>
#include <QHBoxLayout>
#include <QMenuBar>
#include <QScreen>
#include <QSplitter>
#include <QVBoxLayout>

#include <algorithm>
#include <utility>

#include "app/foundation/ServiceLayerError.h"
#include "app/foundation/UserDefaults.h"
#include "app/support/AdController.h"
#include "app/ui/DisplayTexts.h"
#include "app/ui/ListViews.h"
#include "app/ui/NowPlayingOverlay.h"
#include "app/radio/RadioMetadataParser.h"
#include "app/ui/RadioWindowController.h"

namespace {
constexpr int kGapBelowTopPanel = 6;
constexpr int kMinWindowWidth = 420;
}  // namespace

// The real ad presenter: the ad controller over the panel's web view.
class RadioWindowController::AdDrawer : public AdPresenter, public AdControllerDelegate {
public:
    AdDrawer(RadioWindowController& window, AdView& view, const UserDefaults& defaults, const QString& bannerPath)
        : window_(window), controller_(view, AdHosts::fromDefaults(defaults), bannerPath, this, [](const QUrl& url) {
              QDesktopServices::openUrl(url);
          }) {}

    AdController& controller() { return controller_; }

    void displayAdWithMagicNumber(const QString& magicNumber, int height) override {
        controller_.displayAdWithMagicNumber(magicNumber, QSizeF(kAdSize.width(), height));
    }
    void displayAdWithImageURL(const QString& url, const QString& magicNumber) override {
        controller_.displayAdWithImageURL(url, magicNumber);
    }
    void resetToStaticAd() override { controller_.resetToStaticAd(); }

    bool shouldAdDisplay() override { return window_.shouldAdDisplay(); }
    void adWillChange() override { window_.updateAdDrawer(); }

private:
    RadioWindowController& window_;
    AdController controller_;
};

void RadioWindowController::setupLayout() {
    auto* outer = static_cast<QBoxLayout*>(window_->layout());
    // The window may be made shorter than the lists need: they leave instead.
    outer->setSizeConstraint(QLayout::SetNoConstraint);
    outer->removeWidget(contents_);
    auto* row = new QHBoxLayout;
    row->setContentsMargins(0, 0, 0, 0);
    row->addWidget(contents_, 1);
    adPanel_ = new QWidget;
    adPanel_->setObjectName(QStringLiteral("adPanel"));
    adPanel_->setFixedSize(kAdViewSize);
    adPanel_->hide();
    // Beside the lists, as a drawer would be: they keep the width they were built with.
    window_->resize(window_->width() + kAdViewSize.width(), window_->height());
    row->addWidget(adPanel_, 0, Qt::AlignTop);
    outer->addLayout(row, 1);

    auto* column = new QVBoxLayout(contents_);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    for (QWidget* panel : {playControls_, presetControls_, stationsList_})
        panel->layout()->setContentsMargins(0, 0, 0, 0);
    playControls_->setObjectName(QStringLiteral("playControls"));
    presetControls_->setObjectName(QStringLiteral("presetControls"));
    stationsList_->setObjectName(QStringLiteral("stationsList"));
    playControls_->setFixedHeight(playControls_->sizeHint().height());
    gapBelowTopPanel_->setFixedHeight(kGapBelowTopPanel);
    presetControls_->setFixedHeight(presetControls_->sizeHint().height());
    stationsList_->setMinimumHeight(0);
    column->addWidget(playControls_);
    column->addWidget(gapBelowTopPanel_);
    column->addWidget(presetControls_);
    column->addWidget(stationsList_, 1);

    // The source list keeps its width as the window is resized; the table takes the change.
    splitter_->setChildrenCollapsible(false);
    splitter_->setStretchFactor(0, 0);
    splitter_->setStretchFactor(1, 1);
    if (QAbstractItemModel* model = sourceList_->model()) {
        connect(model, &QAbstractItemModel::modelReset, this, [this] { updateSourceListLimits(); });
        connect(model, &QAbstractItemModel::layoutChanged, this, [this] { updateSourceListLimits(); });
        connect(model, &QAbstractItemModel::rowsInserted, this, [this] { updateSourceListLimits(); });
    }
    sourceListWantedWidth_ = splitter_->sizes().value(0, WindowLayoutPolicy::kMinSourceListWidth);
    connect(splitter_, &QSplitter::splitterMoved, this,
            [this] { sourceListWantedWidth_ = splitter_->sizes().value(0, sourceListWantedWidth_); });
    updateSourceListLimits();

    QMenu* controls = menuBar_->actions().isEmpty() ? nullptr : menuBar_->actions().front()->menu();
    if (controls) {
        QAction* zoomAction = controls->addAction(localized(DisplayKeys::ZoomMenuItem), this,
                                                  [this] { Guarded("zoom", [this] { zoom(); }); });
        zoomAction->setObjectName(QStringLiteral("zoom"));
    }

    computeDimensions();
    window_->setMinimumSize(kMinWindowWidth, layoutPolicy_.displayOnlyHeight());
    window_->installEventFilter(this);
    connect(qApp, &QGuiApplication::applicationStateChanged, this,
            [this] { Guarded("application state", [this] { updateAdDrawer(); }); });
    setupAdView();
    recordUIState();
}

void RadioWindowController::computeDimensions() {
    // Measured on the laid-out window, before any panel can leave.
    // A widget not yet shown lays out its children only when asked, one level at a time.
    for (QWidget* w : {window_.get(), contents_, playControls_, presetControls_, stationsList_}) {
        w->layout()->invalidate();
        w->layout()->activate();
    }
    WindowLayoutMeasures m;
    m.topPanelHeight = playControls_->height();
    m.presetsPanelHeight = presetControls_->height();
    m.gapBelowTopPanel = presetControls_->y() - (playControls_->y() + playControls_->height());
    m.gapBetweenSourceAndStationList = splitter_->handleWidth();
    m.verticalSpaceAroundContentContainer = window_->height() - contents_->height();
    m.horizontalSpaceAroundContentContainer = window_->width() - contents_->width();
    m.verticalSpaceAroundSourceListView = stationsList_->height() - splitter_->height();
    layoutPolicy_ = WindowLayoutPolicy(m);
}

WindowPanels RadioWindowController::panelsShown() const {
    return {!presetControls_->isHidden(), !stationsList_->isHidden()};
}

void RadioWindowController::setPanelsShown(WindowPanels panels) {
    gapBelowTopPanel_->setHidden(!panels.presets);
    presetControls_->setHidden(!panels.presets);
    stationsList_->setHidden(!panels.stations);
}

bool RadioWindowController::eventFilter(QObject* watched, QEvent* event) {
    if (watched == window_.get() && event->type() == QEvent::Resize)
        Guarded("window resize", [this] { windowDidResize(); });
    return QObject::eventFilter(watched, event);
}

void RadioWindowController::windowDidResize() {
    // Snapping resizes the window again; that resize finds nothing left to do.
    if (resizing_) return;
    resizing_ = true;
    auto snapped = WindowLayoutPolicy::Resize{panelsShown(), window_->height()};
    // A zoom takes its size as it is; only the listener's resizes collapse the window.
    if (zoomedHeight_ == window_->height())
        zoomedHeight_.reset();
    else
        snapped = layoutPolicy_.willResize(window_->height(), panelsShown());
    setPanelsShown(snapped.panels);
    if (snapped.contentHeight != window_->height()) window_->resize(window_->width(), snapped.contentHeight);
    const int container = snapped.contentHeight - layoutPolicy_.measures().verticalSpaceAroundContentContainer;
    setPanelsShown(layoutPolicy_.didResize(container, panelsShown()));
    recordUIState();
    resizing_ = false;
}

void RadioWindowController::recordUIState() {
    const int state = WindowLayoutPolicy::uiState(panelsShown());
    if (state != uiState_) {
        if (uiState_ != -1) env_.statistics->stopTimer(kStatUIStateTimers[uiState_]);
        env_.statistics->setNumber(kStatUIState, state);
        env_.statistics->startTimer(kStatUIStateTimers[state]);
        env_.statistics->saveSessionStats();
        uiState_ = state;
    }
    updateAdDrawer();
}

void RadioWindowController::zoom() {
    WindowLayoutMeasures m = layoutPolicy_.measures();
    // The ad panel beside the lists counts with the space around them.
    m.horizontalSpaceAroundContentContainer = window_->width() - contents_->width();
    // The lists' measures are of their contents; their frames come on top.
    const int frames = 2 * stationTable_->frameWidth();
    // No larger than the rest of the screen below and right of the window's corner.
    QSize most = window_->maximumSize();
    if (QScreen* screen = window_->screen()) {
        const QRect area = screen->availableGeometry();
        const QPoint corner = window_->geometry().topLeft();
        most = most.boundedTo(
            QSize(area.right() - corner.x() + 1, area.bottom() - corner.y() + 1).expandedTo(window_->minimumSize()));
    }
    const QRect frame = WindowLayoutPolicy(m).zoomedContentRect(
        window_->geometry(), sourceList_->width(), lists_->maxStationsListContainerHeight() + frames,
        lists_->maxStationListWidth() + frames, window_->minimumSize(), most);
    if (frame.height() != window_->height()) zoomedHeight_ = frame.height();
    window_->setGeometry(frame);
}

void RadioWindowController::updateSourceListLimits() {
    const int widest = lists_ ? lists_->maxSourceListWidth() : QWIDGETSIZE_MAX;
    const int most = std::max(WindowLayoutPolicy::kMinSourceListWidth, widest);
    sourceList_->setMinimumWidth(WindowLayoutPolicy::kMinSourceListWidth);
    sourceList_->setMaximumWidth(most);
    // The divider follows the limits at once (or a gap would open beside the list), back
    // towards the width the listener last chose as far as they let it.
    QList<int> sizes = splitter_->sizes();
    const int wanted = std::clamp(sourceListWantedWidth_, WindowLayoutPolicy::kMinSourceListWidth, most);
    if (sizes.size() >= 2 && sizes[0] != wanted && sizes[0] + sizes[1] > wanted) {
        sizes[1] += sizes[0] - wanted;
        sizes[0] = wanted;
        splitter_->setSizes(sizes);
    }
}

// ---- the ad panel ----------------------------------------------------------------------

void RadioWindowController::setupAdView() {
    if (!env_.adViews) return;
    AdView* view = env_.adViews(adPanel_);
    auto* widget = dynamic_cast<QWidget*>(view);
    if (!view || !widget) return;
    widget->setParent(adPanel_);
    widget->setGeometry(QRect(QPoint(0, 0), kAdViewSize));
    adDrawer_ = std::make_shared<AdDrawer>(*this, *view, defaults_, env_.adBannerPath);
    if (env_.attachAdController) env_.attachAdController(view, &adDrawer_->controller());
    if (env_.ads == &defaultAds_) env_.ads = adDrawer_.get();
}

bool RadioWindowController::applicationActive() const {
    const bool hidden = env_.applicationHidden && env_.applicationHidden();
    const bool active = env_.applicationActive ? env_.applicationActive()
                                               : QGuiApplication::applicationState() == Qt::ApplicationActive;
    return active && !hidden;
}

bool RadioWindowController::shouldAdDisplay() const { return uiState_ == 2 && applicationActive(); }

void RadioWindowController::updateAdDrawer() {
    if (!adDrawer_ || !adPanel_) return;
    // The panel opens only in the full layout, and only while the application is in front.
    const bool open = uiState_ == 2 && applicationActive();
    adPanel_->setFixedSize(open ? kAdViewSize : QSize(0, 0));
    if (QWidget* view = adPanel_->findChild<QWidget*>(QString(), Qt::FindDirectChildrenOnly))
        view->resize(adPanel_->size());
    adPanel_->setVisible(open);
    if (open) adDrawer_->controller().showPendingStaticAd();
}

// ---- the now-playing overlay -----------------------------------------------------------

void RadioWindowController::showNowPlayingOverlay() {
    // The first track after the listener picked a station is the one they just asked for.
    const bool picked = session_->takeSongChangedDueToUserAction();
    if (!defaults_.boolean(QStringLiteral("show_nowplaying_overlay"))) return;
    if (env_.applicationHidden && env_.applicationHidden()) return;
    const RadioMetadataParser* currentTrack = currentTrackMetadata();
    if (!currentTrack || !currentTrack->isSong()) return;
    if (!overlay_) overlay_ = std::make_shared<NowPlayingOverlayController>(defaults_, *env_.clock, *env_.scheduler);
    if (picked) return;
    overlay_->showWindowWithSong(currentTrack->songName().value_or(QString()),
                                 currentTrack->songAlbum().value_or(QString()),
                                 currentTrack->songArtist().value_or(QString()), currentTrack->albumArtImage());
}
