#include "app/ui/WindowHelpers.h"

#include <QAbstractItemView>
#include <QAbstractScrollArea>
#include <QApplication>
#include <QPainter>
#include <QWindow>
#include <QResizeEvent>
#include <QScreen>
#include <QWidget>

QRect fitFrameToScreens(const QRect& frame, const QList<ScreenArea>& screens, int ownScreen) {
    if (screens.isEmpty()) return frame;
    if (ownScreen < 0 || ownScreen >= screens.size()) ownScreen = 0;
    QRect r = frame;
    // The title bar must stay reachable: never above the own screen's usable top.
    const QRect& own = screens[ownScreen].available;
    if (r.top() < own.top()) r.moveTop(own.top());
    if (r.top() > own.bottom()) r.moveTop(std::max(own.top(), own.bottom() - r.height() + 1));

    int touched = 0;
    QRect area;
    for (const ScreenArea& s : screens) {
        if (!s.frame.intersects(r)) continue;
        ++touched;
        area = area.united(s.available);
    }
    // A frame that touches no screen at all is fitted to its own screen, not to nothing.
    if (touched <= 1) area = own;
    if (r.width() > area.width()) {
        r.setWidth(area.width());
        if (r.x() < area.x()) r.moveLeft(area.x());
    }
    return r;
}

void fitToScreen(QWidget* window) {
    if (!window) return;
    QList<ScreenArea> screens;
    int own = 0;
    const auto all = QGuiApplication::screens();
    for (int i = 0; i < all.size(); ++i) {
        screens.append({all[i]->geometry(), all[i]->availableGeometry()});
        if (all[i] == window->screen()) own = i;
    }
    const QRect fitted = fitFrameToScreens(window->geometry(), screens, own);
    if (fitted != window->geometry()) window->setGeometry(fitted);
}

QWidget* firstSubview(const QWidget* view) {
    const auto children = view->findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
    return children.isEmpty() ? nullptr : children.first();
}

void removeAllSubviews(QWidget* view) {
    const auto children = view->findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
    for (QWidget* child : children) {
        child->hide();
        child->setParent(nullptr);
        child->deleteLater();
    }
}

QPixmap grabWithInnerWindows(QWidget* window) {
    QPixmap shot = window->grab();
    QWindow* outer = window->windowHandle();
    if (!outer) return shot;
    QPainter painter(&shot);
    for (QWidget* inner : QApplication::topLevelWidgets()) {
        QWindow* handle = inner->windowHandle();
        if (inner == window || !inner->isVisible() || !handle) continue;
        bool held = false;
        for (QWindow* up = handle->parent(); up && !held; up = up->parent())
            held = up == outer;
        if (held) painter.drawPixmap(handle->mapToGlobal(QPoint()) - outer->mapToGlobal(QPoint()), inner->grab());
    }
    return shot;
}

namespace {

// Keeps a child covering its parent as the parent resizes.
class CoverParent : public QObject {
public:
    CoverParent(QWidget* child, QWidget* parent) : QObject(child), child_(child) { parent->installEventFilter(this); }
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Resize && watched == child_->parentWidget())
            child_->setGeometry(QRect(QPoint(0, 0), static_cast<QResizeEvent*>(event)->size()));
        return false;
    }

private:
    QWidget* child_;
};

}  // namespace

void addSubview(QWidget* parent, QWidget* child, bool coveringBounds, bool resizable) {
    if (coveringBounds) child->setGeometry(parent->rect());
    child->setParent(parent);
    if (resizable) new CoverParent(child, parent);
    child->show();
}

QAbstractScrollArea* scrollView(const QWidget* view) {
    for (QWidget* w = view ? view->parentWidget() : nullptr; w; w = w->parentWidget())
        if (auto* area = qobject_cast<QAbstractScrollArea*>(w)) return area;
    return nullptr;
}

void reloadRow(QAbstractItemView* view, int row) {
    if (!view || !view->model() || row < 0 || row >= view->model()->rowCount(view->rootIndex())) return;
    const QModelIndex first = view->model()->index(row, 0, view->rootIndex());
    QRect rect = view->visualRect(first);
    if (rect.isEmpty()) return;
    rect.setLeft(0);
    rect.setRight(view->viewport()->width());
    view->viewport()->update(rect);
}
