// The window's frame kept across runs and fitted to the screens at load, the Find
// command, Delete in the recently played list, and store commands aimed at a preset the
// account does not have.

#include <QAction>
#include <QEvent>
#include <QGuiApplication>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>

#include <algorithm>

#include "app/signon/DialogPresenter.h"
#include "app/foundation/ServiceLayerError.h"
#include "app/foundation/UserDefaults.h"
#include "app/ui/Buttons.h"
#include "app/ui/DisplayTexts.h"
#include "app/ui/ListViews.h"
#include "app/ui/RadioStationsDataSource.h"
#include "app/ui/RadioWindowController.h"
#include "app/ui/WindowHelpers.h"
#include "runtime/LogMessage.h"

namespace {
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
}  // namespace

// Saves the frame whenever the shown window moves or changes size, as an autosaved
// window does.
class FrameAutosave : public QObject {
public:
    FrameAutosave(RadioWindowController& window, QWidget* top) : QObject(top), window_(window), top_(top) {
        top->installEventFilter(this);
    }
    bool eventFilter(QObject* watched, QEvent* event) override {
        const auto type = event->type();
        if (watched == top_ && top_->isVisible() && (type == QEvent::Move || type == QEvent::Resize))
            Guarded("frame autosave", [this] { window_.saveWindowFrame(); });
        return false;
    }

private:
    RadioWindowController& window_;
    QWidget* top_;
};

// The window itself: its preset buttons store the stations dropped on them through it.
class RadioWindowWidget : public QWidget, public PresetHost {
public:
    explicit RadioWindowWidget(RadioWindowController& window) : window_(window) {}
    QString stationIDOnPreset(int preset) const override { return window_.stationIDOnPreset(preset); }
    void storeStationIDOnPreset(const QString& stationID, int preset) override {
        Guarded("preset drop", [&] { window_.storeStationIDOnPreset(stationID, preset); });
    }

private:
    RadioWindowController& window_;
};

std::unique_ptr<QWidget> RadioWindowController::makeWindowWidget(RadioWindowController& window) {
    return std::make_unique<RadioWindowWidget>(window);
}

void RadioWindowController::setupFrameAutosaveAndCommands() {
    // A frame of an earlier run comes back, then the window is kept on the screens.
    if (auto frame = parseFrame(defaults_.string(frameKey(kFrameAutosaveName)))) {
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
        window_->setGeometry(*frame);
    }
    fitToScreen(window_.get());
    new FrameAutosave(*this, window_.get());

    QMenu* edit = menuBar_->addMenu(localized(DisplayKeys::EditMenuTitle));
    edit->setObjectName(QStringLiteral("editMenu"));
    QAction* find = edit->addAction(localized(DisplayKeys::FindMenuItem));
    find->setObjectName(QStringLiteral("findMenuItem"));
    find->setShortcut(QKeySequence::Find);
    connect(find, &QAction::triggered, this, [this] { Guarded("find", [this] { performFindPanelAction(); }); });

    stationTable_->setDeleteAction([this] { stationsTableViewDelete(); });
}

void RadioWindowController::saveWindowFrame() const {
    const QRect r = window_->geometry();
    defaults_.setString(frameKey(kFrameAutosaveName),
                        QStringLiteral("%1 %2 %3 %4").arg(r.x()).arg(r.y()).arg(r.width()).arg(r.height()));
}

void RadioWindowController::performFindPanelAction() {
    search_->setFocus(Qt::ShortcutFocusReason);
    search_->selectAll();
}

void RadioWindowController::stationsTableViewDelete() {
    if (lists_->selectedSourceItem() != dataSource_->recentlyPlayedItem()) return;
    if (auto item = lists_->selectedRadioStationItem()) dataSource_->removeFromRecentlyPlayed(item->stationID(), true);
    QItemSelectionModel* selection = stationTable_->selectionModel();
    const int rows = stationTable_->model() ? stationTable_->model()->rowCount() : 0;
    if (selection && !selection->hasSelection() && rows > 0) stationTable_->selectRow(rows - 1);
}

bool RadioWindowController::presetSlotAvailable(int preset) {
    const int count = radioService_->maxNumberOfPresets();
    if (preset >= 1 && preset <= count) return true;
    LogMessage(kLogInfo, "The account has %d presets; nothing is stored on preset %d.\n", count, preset);
    DialogRequest alert;
    alert.style = DialogRequest::Style::Informational;
    alert.title = alert.messageText = localized(DisplayKeys::PresetUnavailableTitle);
    alert.informativeText =
        localizedFormat(DisplayKeys::PresetUnavailableMsg, {QString::number(preset), QString::number(count)});
    alert.buttons << localized(DisplayKeys::PresetUnavailableOK);
    DialogPresenter& presenter = env_.presenter ? *env_.presenter : DialogPresenter::main();
    presenter.present(alert, window_.get(), [](int) {});
    return false;
}
