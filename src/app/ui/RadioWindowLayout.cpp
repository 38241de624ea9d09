// The main window's layout: the panels that leave and come back as the window is resized,
// the UI state they make, the zoom, the split between the lists, the frame kept across
// runs, the ad panel and its ads; and the now-playing overlay at each song's start.

#include <QApplication>
#include <QDesktopServices>
#include <QEvent>
#include <QHBoxLayout>
#include <QMenuBar>
#include <QRect>
#include <QScreen>
#include <QSplitter>
#include <QVBoxLayout>

#include <algorithm>
#include <utility>

#include "app/foundation/ServiceLayerError.h"
#include "app/foundation/UserDefaults.h"
#include "app/support/AdController.h"
#include "app/ui/DisplayTexts.h"
#include "app/radio/ZYMRadioStation.h"
#include "app/radio/ZYMRadioStationState.h"
#include "app/ui/ListViews.h"
#include "app/ui/WindowHelpers.h"
#include "app/ui/NowPlayingOverlay.h"
#include "app/radio/RadioMetadataParser.h"
#include "app/ui/RadioWindowController.h"
#include "app/ui/RadioWindowLayout.h"

namespace {
constexpr int kGapBelowTopPanel = 6;
// Where the frame of the window with this autosave name is kept, as "x y width height".
QString frameKey(const QString& name) { return QStringLiteral("NSWindow Frame ") + name; }

std::optional<QRect> parseFrame(const QString& text) {
    const QStringList parts = text.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    if (parts.size() != 4) return std::nullopt;
    int v[4];
    for (int i = 0; i < 4; ++i) {
        bool ok = false;
        v[i] = parts[i].toInt(&ok);
        if (!ok) return std::nullopt;
    }
    if (v[2] <= 0 || v[3] <= 0) return std::nullopt;
    return QRect(v[0], v[1], v[2], v[3]);
}
constexpr int kMinWindowWidth = 420;
}  // namespace

// Saves the frame whenever the shown window moves or changes size, as an autosaved
// window does.
class FrameAutosave : public QObject {
public:
    FrameAutosave(RadioWindowLayout& layout, QWidget* top) : QObject(top), layout_(layout), top_(top) {
        top->installEventFilter(this);
    }
    bool eventFilter(QObject* watched, QEvent* event) override {
        const auto type = event->type();
        if (watched == top_ && top_->isVisible() && (type == QEvent::Move || type == QEvent::Resize))
            Guarded("frame autosave", [this] { layout_.saveWindowFrame(); });
        return false;
    }

private:
    RadioWindowLayout& layout_;
    QWidget* top_;
};

// The real ad presenter: the ad controller over the panel's web view.
class RadioWindowLayout::AdDrawer : public AdPresenter, public AdControllerDelegate {
public:
    AdDrawer(RadioWindowLayout& window, AdView& view, const UserDefaults& defaults, const QString& bannerPath)
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
    RadioWindowLayout& window_;
    AdController controller_;
};

RadioWindowLayout::RadioWindowLayout(RadioWindowController& window, WindowContainers panels)
    : window_(window), panels_(panels) {}

RadioWindowLayout::~RadioWindowLayout() = default;

void RadioWindowLayout::setup() {
    auto* outer = static_cast<QBoxLayout*>(window_.window()->layout());
    // The window may be made shorter than the lists need: they leave instead.
    outer->setSizeConstraint(QLayout::SetNoConstraint);
    outer->removeWidget(panels_.contents);
    auto* row = new QHBoxLayout;
    row->setContentsMargins(0, 0, 0, 0);
    row->addWidget(panels_.contents, 1);
    adPanel_ = new QWidget;
    adPanel_->setObjectName(QStringLiteral("adPanel"));
    adPanel_->setFixedSize(kAdViewSize);
    adPanel_->hide();
    // Beside the lists, as a drawer would be: they keep the width they were built with.
    window_.window()->resize(window_.window()->width() + kAdViewSize.width(), window_.window()->height());
    row->addWidget(adPanel_, 0, Qt::AlignTop);
    outer->addLayout(row, 1);

    auto* column = new QVBoxLayout(panels_.contents);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    for (QWidget* panel : {panels_.playControls, panels_.presetControls, panels_.stationsList})
        panel->layout()->setContentsMargins(0, 0, 0, 0);
    panels_.playControls->setObjectName(QStringLiteral("playControls"));
    panels_.presetControls->setObjectName(QStringLiteral("presetControls"));
    panels_.stationsList->setObjectName(QStringLiteral("stationsList"));
    panels_.playControls->setFixedHeight(panels_.playControls->sizeHint().height());
    panels_.gapBelowTopPanel->setFixedHeight(kGapBelowTopPanel);
    panels_.presetControls->setFixedHeight(panels_.presetControls->sizeHint().height());
    panels_.stationsList->setMinimumHeight(0);
    column->addWidget(panels_.playControls);
    column->addWidget(panels_.gapBelowTopPanel);
    column->addWidget(panels_.presetControls);
    column->addWidget(panels_.stationsList, 1);

    // The source list keeps its width as the window is resized; the table takes the change.
    panels_.splitter->setChildrenCollapsible(false);
    panels_.splitter->setStretchFactor(0, 0);
    panels_.splitter->setStretchFactor(1, 1);
    if (QAbstractItemModel* model = window_.sourceList().model()) {
        connect(model, &QAbstractItemModel::modelReset, this, [this] { updateSourceListLimits(); });
        connect(model, &QAbstractItemModel::layoutChanged, this, [this] { updateSourceListLimits(); });
        connect(model, &QAbstractItemModel::rowsInserted, this, [this] { updateSourceListLimits(); });
    }
    sourceListWantedWidth_ = panels_.splitter->sizes().value(0, WindowLayoutPolicy::kMinSourceListWidth);
    connect(panels_.splitter, &QSplitter::splitterMoved, this,
            [this] { sourceListWantedWidth_ = panels_.splitter->sizes().value(0, sourceListWantedWidth_); });
    updateSourceListLimits();

    QMenu* controls = window_.menuBar()->actions().isEmpty() ? nullptr : window_.menuBar()->actions().front()->menu();
    if (controls) {
        QAction* zoomAction = controls->addAction(localized(DisplayKeys::ZoomMenuItem), this,
                                                  [this] { Guarded("zoom", [this] { zoom(); }); });
        zoomAction->setObjectName(QStringLiteral("zoom"));
    }

    computeDimensions();
    window_.window()->setMinimumSize(kMinWindowWidth, layoutPolicy_.displayOnlyHeight());
    window_.window()->installEventFilter(this);
    connect(qApp, &QGuiApplication::applicationStateChanged, this,
            [this] { Guarded("application state", [this] { updateAdDrawer(); }); });
    setupAdView();
    recordUIState();
}

void RadioWindowLayout::computeDimensions() {
    // Measured on the laid-out window, before any panel can leave.
    // A widget not yet shown lays out its children only when asked, one level at a time.
    for (QWidget* w :
         {window_.window(), panels_.contents, panels_.playControls, panels_.presetControls, panels_.stationsList}) {
        w->layout()->invalidate();
        w->layout()->activate();
    }
    WindowLayoutMeasures m;
    m.topPanelHeight = panels_.playControls->height();
    m.presetsPanelHeight = panels_.presetControls->height();
    m.gapBelowTopPanel = panels_.presetControls->y() - (panels_.playControls->y() + panels_.playControls->height());
    m.gapBetweenSourceAndStationList = panels_.splitter->handleWidth();
    m.verticalSpaceAroundContentContainer = window_.window()->height() - panels_.contents->height();
    m.horizontalSpaceAroundContentContainer = window_.window()->width() - panels_.contents->width();
    m.verticalSpaceAroundSourceListView = panels_.stationsList->height() - panels_.splitter->height();
    layoutPolicy_ = WindowLayoutPolicy(m);
}

WindowPanels RadioWindowLayout::panelsShown() const {
    return {!panels_.presetControls->isHidden(), !panels_.stationsList->isHidden()};
}

void RadioWindowLayout::setPanelsShown(WindowPanels panels) {
    panels_.gapBelowTopPanel->setHidden(!panels.presets);
    panels_.presetControls->setHidden(!panels.presets);
    panels_.stationsList->setHidden(!panels.stations);
}

bool RadioWindowLayout::eventFilter(QObject* watched, QEvent* event) {
    if (watched == window_.window() && event->type() == QEvent::Resize)
        Guarded("window resize", [this] { windowDidResize(); });
    return QObject::eventFilter(watched, event);
}

void RadioWindowLayout::windowDidResize() {
    // Snapping resizes the window again; that resize finds nothing left to do.
    if (resizing_) return;
    resizing_ = true;
    auto snapped = WindowLayoutPolicy::Resize{panelsShown(), window_.window()->height()};
    // A zoom takes its size as it is; only the listener's resizes collapse the window.
    if (zoomedHeight_ == window_.window()->height())
        zoomedHeight_.reset();
    else
        snapped = layoutPolicy_.willResize(window_.window()->height(), panelsShown());
    setPanelsShown(snapped.panels);
    if (snapped.contentHeight != window_.window()->height())
        window_.window()->resize(window_.window()->width(), snapped.contentHeight);
    const int container = snapped.contentHeight - layoutPolicy_.measures().verticalSpaceAroundContentContainer;
    setPanelsShown(layoutPolicy_.didResize(container, panelsShown()));
    recordUIState();
    resizing_ = false;
}

void RadioWindowLayout::recordUIState() {
    const int state = WindowLayoutPolicy::uiState(panelsShown());
    if (state != uiState_) {
        if (uiState_ != -1) window_.environment().statistics->stopTimer(kStatUIStateTimers[uiState_]);
        window_.environment().statistics->setNumber(kStatUIState, state);
        window_.environment().statistics->startTimer(kStatUIStateTimers[state]);
        window_.environment().statistics->saveSessionStats();
        uiState_ = state;
    }
    updateAdDrawer();
}

void RadioWindowLayout::zoom() {
    WindowLayoutMeasures m = layoutPolicy_.measures();
    // The ad panel beside the lists counts with the space around them.
    m.horizontalSpaceAroundContentContainer = window_.window()->width() - panels_.contents->width();
    // The lists' measures are of their contents; their frames come on top.
    const int frames = 2 * window_.stationTable().frameWidth();
    // No larger than the rest of the screen below and right of the window's corner.
    QSize most = window_.window()->maximumSize();
    if (QScreen* screen = window_.window()->screen()) {
        const QRect area = screen->availableGeometry();
        const QPoint corner = window_.window()->geometry().topLeft();
        most = most.boundedTo(QSize(area.right() - corner.x() + 1, area.bottom() - corner.y() + 1)
                                  .expandedTo(window_.window()->minimumSize()));
    }
    const QRect frame = WindowLayoutPolicy(m).zoomedContentRect(
        window_.window()->geometry(), window_.sourceList().width(),
        window_.lists().maxStationsListContainerHeight() + frames, window_.lists().maxStationListWidth() + frames,
        window_.window()->minimumSize(), most);
    if (frame.height() != window_.window()->height()) zoomedHeight_ = frame.height();
    window_.window()->setGeometry(frame);
}

void RadioWindowLayout::updateSourceListLimits() {
    RadioStationLists* lists = window_.listsIfMade();
    const int widest = lists ? lists->maxSourceListWidth() : QWIDGETSIZE_MAX;
    const int most = std::max(WindowLayoutPolicy::kMinSourceListWidth, widest);
    window_.sourceList().setMinimumWidth(WindowLayoutPolicy::kMinSourceListWidth);
    window_.sourceList().setMaximumWidth(most);
    // The divider follows the limits at once (or a gap would open beside the list), back
    // towards the width the listener last chose as far as they let it.
    QList<int> sizes = panels_.splitter->sizes();
    const int wanted = std::clamp(sourceListWantedWidth_, WindowLayoutPolicy::kMinSourceListWidth, most);
    if (sizes.size() >= 2 && sizes[0] != wanted && sizes[0] + sizes[1] > wanted) {
        sizes[1] += sizes[0] - wanted;
        sizes[0] = wanted;
        panels_.splitter->setSizes(sizes);
    }
}

// ---- the frame kept across runs --------------------------------------------------------

void RadioWindowLayout::restoreFrameAndAutosave() {
    QWidget* top = window_.window();
    // A frame of an earlier run comes back, then the window is kept on the screens.
    if (auto frame = parseFrame(window_.defaults().string(frameKey(kFrameAutosaveName)))) {
        // A frame left on a screen that is gone would put the window where no one can
        // reach it: it comes back sideways onto the screen that is there.
        const auto screens = QGuiApplication::screens();
        const bool onAScreen = std::any_of(screens.begin(), screens.end(),
                                           [&](QScreen* s) { return s->availableGeometry().intersects(*frame); });
        if (!onAScreen && QGuiApplication::primaryScreen()) {
            const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
            frame->moveLeft(
                std::clamp(frame->x(), area.left(), std::max(area.left(), area.right() - frame->width() + 1)));
        }
        top->setGeometry(*frame);
    }
    fitToScreen(top);
    new FrameAutosave(*this, top);
}

void RadioWindowLayout::saveWindowFrame() const {
    const QRect r = window_.window()->geometry();
    window_.defaults().setString(frameKey(kFrameAutosaveName),
                                 QStringLiteral("%1 %2 %3 %4").arg(r.x()).arg(r.y()).arg(r.width()).arg(r.height()));
}

// ---- the ad panel ----------------------------------------------------------------------

void RadioWindowLayout::setupAdView() {
    if (!window_.environment().adViews) return;
    AdView* view = window_.environment().adViews(adPanel_);
    auto* widget = dynamic_cast<QWidget*>(view);
    if (!view || !widget) return;
    widget->setParent(adPanel_);
    widget->setGeometry(QRect(QPoint(0, 0), kAdViewSize));
    adDrawer_ = std::make_shared<AdDrawer>(*this, *view, window_.defaults(), window_.environment().adBannerPath);
    if (window_.environment().attachAdController)
        window_.environment().attachAdController(view, &adDrawer_->controller());
    if (window_.environment().ads == &window_.defaultAds()) window_.environment().ads = adDrawer_.get();
}

bool RadioWindowLayout::applicationActive() const {
    const bool hidden = window_.environment().applicationHidden && window_.environment().applicationHidden();
    const bool active = window_.environment().applicationActive
                            ? window_.environment().applicationActive()
                            : QGuiApplication::applicationState() == Qt::ApplicationActive;
    return active && !hidden;
}

bool RadioWindowLayout::shouldAdDisplay() const { return uiState_ == 2 && applicationActive(); }

void RadioWindowLayout::updateAdDrawer() {
    if (!adDrawer_ || !adPanel_) return;
    // The panel opens only in the full layout, and only while the application is in front.
    const bool open = uiState_ == 2 && applicationActive();
    adPanel_->setFixedSize(open ? kAdViewSize : QSize(0, 0));
    if (QWidget* view = adPanel_->findChild<QWidget*>(QString(), Qt::FindDirectChildrenOnly))
        view->resize(adPanel_->size());
    adPanel_->setVisible(open);
    if (open) adDrawer_->controller().showPendingStaticAd();
}

void RadioWindowLayout::displayAdForPlayingStation() {
    const auto station = window_.playingStation();
    if (!station || !station->banners()) return;
    displayAdWithBanners(*station->banners(), window_.networkBandwidthLimitPreference() < 128001
                                                  ? QStringLiteral("600")
                                                  : QStringLiteral("650"));
}

void RadioWindowLayout::displayAdForTrackMetadata() {
    if (!window_.currentTrackMetadata()) return;
    const auto banners = window_.currentTrackMetadata()->banners();
    displayAdWithBanners(banners ? *banners : std::vector<std::shared_ptr<const ZYMRadioStationBanner>>{}, QString());
}

void RadioWindowLayout::displayAdWithBanners(const std::vector<std::shared_ptr<const ZYMRadioStationBanner>>& banners,
                                             const QString& flavorId) {
    AdPresenter& ads = *window_.environment().ads;
    const QString wanted = std::max(0, adHeight_) == 250 ? QStringLiteral("9") : QStringLiteral("8");
    for (const auto& b : banners) {
        if (!b || b->bannerId() != wanted) continue;
        if (!flavorId.isNull() && b->flavorId() == flavorId) {
            ads.displayAdWithMagicNumber(b->magicNumber(), adHeight_);
            return;
        }
        if (!b->imageURL().isEmpty()) {
            ads.displayAdWithImageURL(b->imageURL(), b->magicNumber());
            return;
        }
    }
    ads.resetToStaticAd();
}

// ---- the now-playing overlay -----------------------------------------------------------

void RadioWindowLayout::showNowPlayingOverlay() {
    // The first track after the listener picked a station is the one they just asked for.
    const bool picked = window_.playSession().takeSongChangedDueToUserAction();
    if (!window_.defaults().boolean(QStringLiteral("show_nowplaying_overlay"))) return;
    if (window_.environment().applicationHidden && window_.environment().applicationHidden()) return;
    const RadioMetadataParser* currentTrack = window_.currentTrackMetadata();
    if (!currentTrack || !currentTrack->isSong()) return;
    if (!overlay_)
        overlay_ = std::make_shared<NowPlayingOverlayController>(window_.defaults(), *window_.environment().clock,
                                                                 *window_.environment().scheduler);
    if (picked) return;
    overlay_->showWindowWithSong(currentTrack->songName().value_or(QString()),
                                 currentTrack->songAlbum().value_or(QString()),
                                 currentTrack->songArtist().value_or(QString()), currentTrack->albumArtImage());
}
