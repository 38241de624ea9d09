#include "PrefsWindowController.h"

#include "app/foundation/Localizer.h"
#include "app/foundation/UserDefaults.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

namespace {
const char* const kPaneSizeProperty = "prefsPaneSize";
}

PrefsIconView::PrefsIconView(const QVector<PrefsPane>& panes, std::function<void(const QString&)> hit, QWidget* parent)
    : QWidget(parent) {
    QFont font = this->font();
    font.setPointSizeF(font.pointSizeF() * 0.85);
    for (const PrefsPane& pane : panes) {
        auto* button = new QToolButton(this);
        button->resize(80, 50);
        button->setIcon(prefsImageNamed(pane.imageName));
        button->setText(Localizer::shared().text(pane.label));
        button->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
        button->setAutoRaise(true);
        button->setFont(font);
        const QString id = pane.identifier;
        QObject::connect(button, &QToolButton::clicked, this, [hit, id] { hit(id); });
        buttons_.append(button);
    }
    layoutButtons();
}

void PrefsIconView::layoutButtons() {
    for (int i = 0; i < buttons_.size(); ++i)
        buttons_[i]->move(20 + 80 * i, 10);
}

void PrefsIconView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    layoutButtons();
}

PrefsWindowController::PrefsWindowController(PrefStores stores, QWidget* parent)
    : QMainWindow(parent), stores_(stores) {
    content_ = new QWidget(this);
    auto* layout = new QVBoxLayout(content_);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    setCentralWidget(content_);
    parking_ = new QWidget(this);
    parking_->hide();
}

PrefsWindowController::~PrefsWindowController() = default;

void PrefsWindowController::awakeFromNib() {
    const QByteArray frame = stores_.userDefaults().data(windowAutosaveName());
    if (!frame.isEmpty()) restoreGeometry(frame);
    loadPanes();
}

void PrefsWindowController::setPanes(const QVector<PrefsPane>& panes) {
    for (const PrefsPane& pane : panes) {
        if (pane.view && pane.view != mainView_) {
            pane.view->setProperty(kPaneSizeProperty, paneSize(pane.view));
            pane.view->setParent(parking_);
        }
    }
    panes_ = panes;
    buildIconsView();
    setupToolbar();

    QString identifier;
    const QString stored = stores_.userDefaults().string(QString::fromLatin1(kLastPrefsPaneKey));
    if (!stored.isEmpty() && viewForPaneWithIdentifier(stored)) {
        identifier = stored;
    } else if (!panes_.isEmpty()) {
        identifier = showsIconView_ ? QString::fromLatin1(kPrefsShowAllIdentifier) : panes_.first().identifier;
    }
    showPaneWithIdentifier(identifier);
}

void PrefsWindowController::buildIconsView() {
    if (iconsView_ && iconsView_ == mainView_) setMainView(nullptr);
    delete iconsView_;
    iconsView_ = new PrefsIconView(
        panes_, [this](const QString& id) { showPaneWithIdentifier(id); }, parking_);
    iconsView_->resize(qMax(content_->width(), 20 + 80 * int(panes_.size()) + 20), 70);
    iconsView_->setProperty(kPaneSizeProperty, iconsView_->size());
}

void PrefsWindowController::setupToolbar() {
    QVariantList items;
    const auto action = QStringLiteral("toolbarButtonHit:");
    if (showsIconView_) {
        items.append(QVariantMap{{"identifier", QString::fromLatin1(kPrefsShowAllIdentifier)},
                                 {"label", QStringLiteral("PrefsShowAllItemLabel")},
                                 {"image_name", QStringLiteral("newmsg-normal.png")},
                                 {"default", 1},
                                 {"action", action}});
        items.append(QVariantMap{{"identifier", QString::fromLatin1(kToolbarSeparatorItemIdentifier)}, {"default", 1}});
    }
    for (const PrefsPane& pane : panes_) {
        items.append(QVariantMap{{"identifier", pane.identifier},
                                 {"label", pane.label},
                                 {"image_name", pane.imageName},
                                 {"default", 1},
                                 {"action", action},
                                 {"tooltip", pane.tooltip}});
    }
    toolbarModel_ = std::make_unique<ConfigurableToolbar>(toolbarIdentifier(), items);

    delete toolbar_;
    toolbar_ = new QToolBar(this);
    toolbar_->setObjectName(toolbarIdentifier());
    toolbar_->setMovable(false);
    toolbar_->setFloatable(false);
    toolbar_->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    toolbar_->toggleViewAction()->setEnabled(false);
    toolbarGroup_ = new QActionGroup(toolbar_);
    toolbarGroup_->setExclusionPolicy(QActionGroup::ExclusionPolicy::ExclusiveOptional);
    for (const QString& id : toolbarModel_->defaultItemIdentifiers()) {
        if (id == QLatin1String(kToolbarSeparatorItemIdentifier)) {
            toolbar_->addSeparator();
            continue;
        }
        QAction* item = toolbarModel_->createItemForItemIdentifier(id, toolbar_);
        if (!item) continue;
        toolbarGroup_->addAction(item);
        toolbar_->addAction(item);
        QObject::connect(item, &QAction::triggered, this, [this, id] { showPaneWithIdentifier(id); });
    }
    addToolBar(Qt::TopToolBarArea, toolbar_);
}

QString PrefsWindowController::labelForPaneWithIdentifier(const QString& identifier) const {
    for (const PrefsPane& pane : panes_)
        if (pane.identifier == identifier) return pane.label;
    return {};
}

QWidget* PrefsWindowController::viewForPaneWithIdentifier(const QString& identifier) const {
    for (const PrefsPane& pane : panes_)
        if (pane.identifier == identifier) return pane.view;
    return nullptr;
}

QString PrefsWindowController::windowTitleForPaneWithIdentifier(const QString& identifier) const {
    if (identifier == QLatin1String(kPrefsShowAllIdentifier))
        return Localizer::shared().text(QStringLiteral("DefaultPrefsWindowTitle"));
    // The pane holds its label's key, as the toolbar and the overview do.
    const QString label = labelForPaneWithIdentifier(identifier);
    return label.isEmpty() ? label : Localizer::shared().text(label);
}

bool PrefsWindowController::showPaneWithIdentifier(const QString& identifier) {
    QWidget* target =
        identifier == QLatin1String(kPrefsShowAllIdentifier) ? iconsView_ : viewForPaneWithIdentifier(identifier);
    if (target != mainView_) {
        if (mainView_ && mainView_ != iconsView_ && !paneWillClose(mainView_)) return false;
        if (target && target != iconsView_) paneWillDisplay(target);
        setMainView(target);
    }
    currentPaneIdentifier_ = identifier;
    if (toolbarGroup_) {
        QAction* selected = nullptr;
        for (QAction* item : toolbarGroup_->actions())
            if (item->data().toString() == identifier) selected = item;
        if (selected) {
            selected->setChecked(true);
        } else if (QAction* checked = toolbarGroup_->checkedAction()) {
            checked->setChecked(false);
        }
    }
    setWindowTitle(windowTitleForPaneWithIdentifier(identifier));
    return true;
}

QSize PrefsWindowController::paneSize(QWidget* view) {
    const QVariant known = view->property(kPaneSizeProperty);
    if (known.isValid()) return known.toSize();
    return view->testAttribute(Qt::WA_Resized) ? view->size() : view->sizeHint();
}

void PrefsWindowController::setMainView(QWidget* view) {
    if (mainView_) {
        content_->layout()->removeWidget(mainView_);
        mainView_->hide();
        mainView_->setParent(parking_);
    }
    mainView_ = view;
    if (!view) return;

    const int toolbarHeight = toolbar_ && !toolbar_->isHidden() ? toolbar_->sizeHint().height() : 0;
    const int height = paneSize(view).height() + toolbarHeight;
    view->setParent(content_);
    content_->layout()->addWidget(view);
    view->show();
    // resize() keeps the top-left corner: the title bar stays where it is.
    setMinimumHeight(0);
    resize(width(), height);
    // The pane's first control takes the keyboard, unless the pane chose one itself.
    QWidget* focused = QApplication::focusWidget();
    if (focused && view->isAncestorOf(focused)) return;
    for (QWidget* next = view->nextInFocusChain(); next && next != view; next = next->nextInFocusChain()) {
        if (view->isAncestorOf(next) && (next->focusPolicy() & Qt::TabFocus) && next->isEnabled()) {
            next->setFocus(Qt::OtherFocusReason);
            break;
        }
    }
}

bool PrefsWindowController::windowShouldClose() {
    if (mainView_ && mainView_ == iconsView_) return true;
    if (!currentPaneIdentifier_.isEmpty() && currentPaneIdentifier_ != QLatin1String(kPrefsNonexistentIdentifier)) {
        stores_.userDefaults().setString(QString::fromLatin1(kLastPrefsPaneKey), currentPaneIdentifier_);
        lastPaneIdentifier_ = currentPaneIdentifier_;
    }
    return showPaneWithIdentifier(QString::fromLatin1(kPrefsNonexistentIdentifier));
}

void PrefsWindowController::showWindow() {
    show();
    raise();
    if (!lastPaneIdentifier_.isEmpty()) {
        const QString identifier = lastPaneIdentifier_;
        lastPaneIdentifier_.clear();
        showPaneWithIdentifier(identifier);
    }
}

void PrefsWindowController::closeApproved() {
    closeApproved_ = true;
    close();
    closeApproved_ = false;
}

void PrefsWindowController::closeEvent(QCloseEvent* event) {
    if (!closeApproved_ && !windowShouldClose()) {
        event->ignore();
        return;
    }
    stores_.userDefaults().setObject(windowAutosaveName(), saveGeometry());
    event->accept();
}
