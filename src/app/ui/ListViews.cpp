#include "app/ui/ListViews.h"

#include "app/ui/ApplicationActions.h"
#include "app/ui/DrawingHelpers.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QDrag>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>

#include <algorithm>
#include <cmath>

// ---- shared behaviour ----

Qt::DropActions ExtendedViewActions::draggingSourceOperationMask(bool local) const {
    if (delegate_)
        if (auto mask = delegate_->draggingSourceOperationMask(local)) return *mask;
    return Qt::CopyAction | Qt::MoveAction;
}

bool ExtendedViewActions::handleKey(QAbstractItemView* view, const QKeyEvent* event) {
    const Action* action = nullptr;
    QString name;
    switch (event->key()) {
    case Qt::Key_Delete:
    case Qt::Key_Backspace:
        action = &deleteAction_;
        name = QStringLiteral("delete");
        break;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        action = &doubleAction_;
        name = QStringLiteral("open");
        break;
    case Qt::Key_Down:
        if (!(event->modifiers() & Qt::ControlModifier)) return false;
        action = &doubleAction_;
        name = QStringLiteral("open");
        break;
    case Qt::Key_Space:
        action = &spaceAction_;
        name = QStringLiteral("space");
        break;
    default: return false;
    }
    // Consumed either way: without its action a key does nothing (no type-select).
    if (*action) ApplicationActions::send(name, view, *action);
    return true;
}

QMenu* ExtendedViewActions::menuAt(QAbstractItemView* view, const QPoint& pos) {
    const QModelIndex index = view->indexAt(pos);
    if (!index.isValid()) return nullptr;
    const int row = index.row();
    // A context click ends any editing first.
    if (QWidget* editor = view->indexWidget(view->currentIndex())) editor->clearFocus();
    auto* selection = view->selectionModel();
    if (selection && !selection->isRowSelected(row, index.parent())) {
        if (!delegate_ || delegate_->shouldSelectRow(row)) {
            selection->select(index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
            selection->setCurrentIndex(index, QItemSelectionModel::NoUpdate);
        }
    }
    return delegate_ ? delegate_->contextMenuForRow(row) : nullptr;
}

void ExtendedViewActions::showContextMenu(QAbstractItemView* view, QContextMenuEvent* event) {
    if (QMenu* menu = menuAt(view, event->pos())) menu->popup(event->globalPos());
    event->accept();
}

// ---- ExtendedOutlineView ----

ExtendedOutlineView::ExtendedOutlineView(QWidget* parent) : QTreeView(parent) {
    setIndentation(4);
    setRootIsDecorated(false);
    setHeaderHidden(true);
}

void ExtendedOutlineView::keyPressEvent(QKeyEvent* event) {
    if (handleKey(this, event))
        event->accept();
    else
        QTreeView::keyPressEvent(event);
}

void ExtendedOutlineView::contextMenuEvent(QContextMenuEvent* event) { showContextMenu(this, event); }

void ExtendedOutlineView::startDrag(Qt::DropActions) {
    const QModelIndexList indexes = selectedIndexes();
    if (indexes.isEmpty() || !model()) return;
    auto* drag = new QDrag(this);
    drag->setMimeData(model()->mimeData(indexes));
    const Qt::DropAction result = drag->exec(draggingSourceOperationMask(false));
    if (viewDelegate()) viewDelegate()->dragEnded(result);
}

// ---- ExtendedTableView ----

ExtendedTableView::ExtendedTableView(QWidget* parent) : QTableView(parent) {
    setSelectionBehavior(QAbstractItemView::SelectRows);
    verticalHeader()->hide();
    setShowGrid(false);
    // Moves are always followed, so that turning the row reports on knows the row under
    // the mouse at once.
    viewport()->setMouseTracking(true);
}

void ExtendedTableView::keyPressEvent(QKeyEvent* event) {
    if (handleKey(this, event))
        event->accept();
    else
        QTableView::keyPressEvent(event);
}

void ExtendedTableView::contextMenuEvent(QContextMenuEvent* event) { showContextMenu(this, event); }

void ExtendedTableView::enableRowMouseTracking(bool on) {
    if (on == tracking_) return;
    tracking_ = on;
    if (!on) {
        trackedRow_ = -1;  // no report: tracking is gone, as the rectangles were
        return;
    }
    updateTrackedRow();
}

void ExtendedTableView::updateTrackedRow() {
    // While rows go away the layout still counts them: wait for the removal to end.
    if (!tracking_ || removing_) return;
    int row = -1;
    if (mouse_ && viewport()->rect().contains(*mouse_)) {
        const QModelIndex index = indexAt(*mouse_);
        if (index.isValid() && index.row() < model()->rowCount(rootIndex())) row = index.row();
    }
    if (row == trackedRow_) return;
    const int old = trackedRow_;
    trackedRow_ = row;
    if (auto* d = viewDelegate()) {
        if (old >= 0) d->rowExited(old);
        if (row >= 0) d->rowEntered(row);
    }
}

bool ExtendedTableView::viewportEvent(QEvent* event) {
    switch (event->type()) {
    case QEvent::MouseMove:
        mouse_ = static_cast<QMouseEvent*>(event)->position().toPoint();
        updateTrackedRow();
        break;
    case QEvent::Leave:
        mouse_.reset();
        updateTrackedRow();
        break;
    default: break;
    }
    return QTableView::viewportEvent(event);
}

void ExtendedTableView::scrollContentsBy(int dx, int dy) {
    QTableView::scrollContentsBy(dx, dy);
    updateTrackedRow();
}

void ExtendedTableView::setModel(QAbstractItemModel* model) {
    QTableView::setModel(model);
    if (model)
        connect(model, &QAbstractItemModel::rowsRemoved, this, [this] {
            removing_ = false;
            updateTrackedRow();
        });
    updateTrackedRow();
}

// A reload changes the rows under a still mouse: the old row is left and the row there
// now is entered, even when it has the same number.
void ExtendedTableView::reset() {
    QTableView::reset();
    if (trackedRow_ >= 0) {
        const int old = trackedRow_;
        trackedRow_ = -1;
        if (auto* d = viewDelegate()) d->rowExited(old);
    }
    updateTrackedRow();
}

void ExtendedTableView::rowsInserted(const QModelIndex& parent, int start, int end) {
    QTableView::rowsInserted(parent, start, end);
    updateTrackedRow();
}

void ExtendedTableView::rowsAboutToBeRemoved(const QModelIndex& parent, int start, int end) {
    QTableView::rowsAboutToBeRemoved(parent, start, end);
    removing_ = true;
    if (trackedRow_ >= start && trackedRow_ <= end) {
        if (auto* d = viewDelegate()) d->rowExited(trackedRow_);
        trackedRow_ = -1;
    }
}

QPixmap ExtendedTableView::batchDragBadge(int count, QPoint* offset) {
    QFont font = QApplication::font();
    font.setBold(true);
    font.setPixelSize(12);
    const QString text = QString::number(unsigned(count));
    const QFontMetricsF metrics(font);
    const QSizeF textSize(metrics.horizontalAdvance(text), metrics.height());
    // Laid out with y upwards, as the badge was designed, and flipped when drawn.
    const qreal ovalH = textSize.height() + 6;
    const qreal ovalW = std::max(textSize.width() + 12, ovalH);
    QRectF oval(0.25 * ovalW + 15, -10, ovalW, ovalH);
    QRectF frame(0, 0, 35, 25);
    const QRectF all = frame.united(oval).adjusted(-2, -2, 2, 2);
    oval.translate(-all.topLeft());
    frame.translate(-all.topLeft());
    const QSize size(int(std::ceil(all.width())), int(std::ceil(all.height())));
    auto flip = [&](const QRectF& r) {
        return QRectF(r.x(), size.height() - r.y() - r.height(), r.width(), r.height());
    };

    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.fillRect(flip(frame), QColor::fromRgbF(0, 0, 1, 0.4));
    p.setPen(QColor::fromRgbF(0.7, 0.7, 0.7, 0.4));
    p.drawRect(flip(frame));
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::red);
    p.drawEllipse(flip(oval));
    p.setFont(font);
    p.setPen(Qt::white);
    const QRectF o = flip(oval);
    const QPointF at(o.x() + (o.width() - textSize.width()) / 2, o.y() + (o.height() - textSize.height()) / 2);
    p.drawText(QRectF(at, textSize), Qt::AlignLeft | Qt::AlignTop, text);
    p.end();
    if (offset) *offset = QPoint(int((size.width() - 30) / 2), -8);
    return QPixmap::fromImage(image);
}

QPixmap ExtendedTableView::dragImageForRows(const QList<int>& rows, const QPoint& mouse, QPoint* offset) {
    if (rows.size() != 1) {
        if (auto* d = viewDelegate())
            if (auto image = d->dragImageForBatchDragOfRowCount(int(rows.size()))) return *image;
        return batchDragBadge(int(rows.size()), offset);
    }
    const int row = rows.first();
    if (auto* d = viewDelegate())
        if (auto image = d->dragImageForSingleRow(row)) return *image;
    const QRect rowRect(0, rowViewportPosition(row), viewport()->width(), rowHeight(row));
    QImage image(rowRect.size(), QImage::Format_ARGB32_Premultiplied);
    image.fill(QColor::fromRgbF(1, 1, 1, 0.45));
    generatingDragImage_ = true;
    const QPixmap drawn = viewport()->grab(rowRect);
    generatingDragImage_ = false;
    QPainter p(&image);
    p.drawPixmap(0, 0, drawn);
    p.setPen(Qt::black);
    p.drawRect(image.rect().adjusted(0, 0, -1, -1));
    p.fillRect(image.rect(), QColor::fromRgbF(1, 1, 1, 0.25));
    p.end();
    if (offset) {
        const int h = std::max(1, rowRect.height());
        *offset = QPoint(rowRect.x() - mouse.x() + rowRect.width() / 2,
                         rowRect.y() - mouse.y() - rowRect.height() / 2 + 2 * (mouse.y() % h));
    }
    return QPixmap::fromImage(image);
}

void ExtendedTableView::startDrag(Qt::DropActions) {
    const QModelIndexList indexes = selectionModel() ? selectionModel()->selectedRows() : QModelIndexList();
    if (indexes.isEmpty() || !model()) return;
    QList<int> rows;
    for (const QModelIndex& i : indexes)
        rows.append(i.row());
    std::sort(rows.begin(), rows.end());
    const QPoint mouse = viewport()->mapFromGlobal(QCursor::pos());
    QPoint offset;
    auto* drag = new QDrag(this);
    drag->setMimeData(model()->mimeData(indexes));
    drag->setPixmap(dragImageForRows(rows, mouse, &offset));
    drag->setHotSpot(QPoint(drag->pixmap().width() / 2, drag->pixmap().height() / 2) - offset);
    const Qt::DropAction result = drag->exec(draggingSourceOperationMask(false));
    if (viewDelegate()) viewDelegate()->dragEnded(result);
}

// ---- DescriptiveOutlineDelegate ----

namespace {
// A text shortened with an ellipsis to the room it has, never cut through a letter.
QString fitted(const QString& text, qreal room, const QFont& font) {
    if (room <= 0) return QString();
    return ZYMString::stringByTruncatingToWidth(text, room, ZYMString::TruncateTail, ZYMString::fontWidthMeasure(font));
}
}  // namespace

void DescriptiveOutlineDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                                       const QModelIndex& index) const {
    const QRectF f(option.rect);
    const QString name = index.data(Qt::DisplayRole).toString();
    painter->save();
    painter->setFont(option.font);
    if (index.data(ZYMItemRole::IsContainer).toBool()) {
        static const ImageSetRenderer band(imageNamed(QStringLiteral("category_back_left")),
                                           imageNamed(QStringLiteral("category_back_center")),
                                           imageNamed(QStringLiteral("category_back_right")));
        // From x 1 whatever the indentation, one point past the right and bottom edges.
        const QRectF bandRect(1, f.y(), f.x() + f.width(), f.height() + 1);
        painter->fillRect(bandRect, option.palette.color(QPalette::Base));
        band.drawInRect(*painter, bandRect);
        painter->setPen(QColor::fromRgbF(0.5, 0.5, 0.5, 1.0));
        painter->drawRect(bandRect.adjusted(0, 0, -1, -1));
        painter->setPen(option.palette.color(QPalette::Text));
        painter->drawText(f.adjusted(4, 0, 0, 0), Qt::AlignLeft | Qt::AlignVCenter,
                          fitted(name, f.width() - 6, option.font));
        painter->restore();
        return;
    }
    const auto* view = qobject_cast<const ExtendedTableView*>(option.widget);
    const bool generating = view && view->isGeneratingDragImage();
    const bool highlighted = !generating && (option.state & QStyle::State_Selected) &&
                             (option.state & QStyle::State_Active) &&
                             (option.state & QStyle::State_HasFocus || (option.widget && option.widget->hasFocus()));
    if ((option.state & QStyle::State_Selected) && !generating)
        painter->fillRect(f, option.palette.color(highlighted ? QPalette::Highlight : QPalette::Midlight));
    painter->setPen(highlighted ? QColor(Qt::white) : option.palette.color(QPalette::Text));
    painter->drawText(f.adjusted(4, 0, 0, 0), Qt::AlignLeft | Qt::AlignVCenter,
                      fitted(name, f.width() - 6, option.font));
    const QString secondary = index.data(ZYMItemRole::SecondaryText).toString();
    if (!secondary.isEmpty()) {
        if (!highlighted) painter->setPen(QColor(Qt::gray));
        const qreal room = std::max<qreal>(0, f.right() - descriptionOffset_);
        painter->drawText(QRectF(descriptionOffset_, f.y(), room, f.height()), Qt::AlignLeft | Qt::AlignVCenter,
                          fitted(secondary, room - 2, option.font));
    }
    painter->restore();
}
