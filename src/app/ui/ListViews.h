#pragma once
// The main window's lists: the source outline and the station table. Both add key
// actions (delete, open, space), context menus per row and drag hooks, handed to their
// delegate; the table also reports the row under the mouse. Their cells: the station cell
// (a name with a grey description at one x, or a band behind a genre heading) and an
// eliding label.

#include "app/foundation/ZYMStringAdditions.h"
#include "app/ui/TextFields.h"

#include <QPixmap>
#include <QStyledItemDelegate>
#include <QTableView>
#include <QTreeView>
#include <QWidget>

#include <functional>
#include <optional>

class QMenu;

// Item roles the station cell reads.
namespace ZYMItemRole {
inline constexpr int SecondaryText = Qt::UserRole + 1;  // QString
inline constexpr int IsContainer = Qt::UserRole + 2;    // bool
}  // namespace ZYMItemRole

// What the lists ask of their delegate; every method is optional.
class ExtendedViewDelegate {
public:
    virtual ~ExtendedViewDelegate() = default;
    // Before a context click selects its row; false keeps the selection.
    virtual bool shouldSelectRow(int) { return true; }
    // The menu for a context click on a row; null shows none.
    virtual QMenu* contextMenuForRow(int) { return nullptr; }
    virtual std::optional<Qt::DropActions> draggingSourceOperationMask(bool /*local*/) { return std::nullopt; }
    virtual void dragEnded(Qt::DropAction) {}
    virtual void rowEntered(int) {}
    virtual void rowExited(int) {}
    virtual std::optional<QPixmap> dragImageForSingleRow(int) { return std::nullopt; }
    virtual std::optional<QPixmap> dragImageForBatchDragOfRowCount(int) { return std::nullopt; }
};

// The key and context-menu behaviour both lists share.
class ExtendedViewActions {
public:
    using Action = std::function<void()>;
    void setDoubleAction(Action a) { doubleAction_ = std::move(a); }
    void setDeleteAction(Action a) { deleteAction_ = std::move(a); }
    void setSpaceAction(Action a) { spaceAction_ = std::move(a); }
    bool hasSpaceAction() const { return bool(spaceAction_); }
    void setViewDelegate(ExtendedViewDelegate* d) { delegate_ = d; }
    ExtendedViewDelegate* viewDelegate() const { return delegate_; }
    // The drag operations offered (copy and move when the delegate does not say).
    Qt::DropActions draggingSourceOperationMask(bool local) const;

protected:
    // True when the key was one of the list's own (then it is consumed).
    bool handleKey(QAbstractItemView* view, const class QKeyEvent* event);
    // The menu for a context click at `pos` (viewport coordinates), after selecting the
    // row as needed; null below the last row.
    QMenu* menuAt(QAbstractItemView* view, const QPoint& pos);
    void showContextMenu(QAbstractItemView* view, class QContextMenuEvent* event);

private:
    Action doubleAction_, deleteAction_, spaceAction_;
    ExtendedViewDelegate* delegate_ = nullptr;
};

class ExtendedOutlineView : public QTreeView, public ExtendedViewActions {
    Q_OBJECT
public:
    explicit ExtendedOutlineView(QWidget* parent = nullptr);
    QMenu* menuForEvent(const QPoint& viewportPos) { return menuAt(this, viewportPos); }

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void startDrag(Qt::DropActions supported) override;
};

class ExtendedTableView : public QTableView, public ExtendedViewActions {
    Q_OBJECT
public:
    explicit ExtendedTableView(QWidget* parent = nullptr);
    QMenu* menuForEvent(const QPoint& viewportPos) { return menuAt(this, viewportPos); }

    void setModel(QAbstractItemModel* model) override;

    // Per-row enter/exit reports to the delegate.
    void enableRowMouseTracking(bool on);
    bool rowMouseTracking() const { return tracking_; }
    // The row the mouse is over for the reports; -1 for none.
    int trackedRow() const { return trackedRow_; }

    bool isGeneratingDragImage() const { return generatingDragImage_; }
    // The drag image for these rows and where it hangs from the mouse.
    QPixmap dragImageForRows(const QList<int>& rows, const QPoint& mouse, QPoint* offset);
    // The badge with the number of rows dragged.
    static QPixmap batchDragBadge(int count, QPoint* offset);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void startDrag(Qt::DropActions supported) override;
    bool viewportEvent(QEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    void reset() override;
    void rowsInserted(const QModelIndex& parent, int start, int end) override;
    void rowsAboutToBeRemoved(const QModelIndex& parent, int start, int end) override;

private:
    void updateTrackedRow();
    bool tracking_ = false;
    bool generatingDragImage_ = false;
    bool removing_ = false;
    int trackedRow_ = -1;
    std::optional<QPoint> mouse_;  // the last mouse position over the viewport
};

// The station column's cell: the name at 4 points in, the description (grey unless the
// row is highlighted) at one x for every row; a genre row gets a band behind its name
// and never a description.
class DescriptiveOutlineDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    explicit DescriptiveOutlineDelegate(QObject* parent = nullptr) : QStyledItemDelegate(parent) {}
    void setDescriptionOffset(qreal x) { descriptionOffset_ = x; }
    qreal descriptionOffset() const { return descriptionOffset_; }
    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;

private:
    qreal descriptionOffset_ = 120.0;
};
