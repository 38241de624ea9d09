#include "app/ui/RadioStationLists.h"

#include "app/foundation/ZYMPasteboard.h"
#include "app/ui/LocalizedText.h"

#include <QApplication>
#include <QHeaderView>
#include <QLineEdit>
#include <QMimeData>
#include <QPainter>
#include <QPainterPath>
#include <QScrollBar>
#include <QUrl>

#include <algorithm>
#include <cmath>
#include <utility>

namespace {

RadioStationItem* stationItemOf(const QModelIndex& index) {
    return reinterpret_cast<RadioStationItem*>(index.data(ZYMItemRole::ItemPointer).value<quintptr>());
}

QFont dragLabelFont() {
    QFont font = QApplication::font();
    font.setPointSizeF(11.0);
    return font;
}

}  // namespace

// The station cell notes the drawn rows whose station still lacks its information, so
// only the rows on screen are ever asked for. The asking waits for the next pass of the
// event loop: an answer redraws the row, and a paint must not start another paint.
class RadioStationLists::StationCell : public DescriptiveOutlineDelegate {
public:
    StationCell(RadioStationLists& lists, QObject* parent) : DescriptiveOutlineDelegate(parent), lists_(lists) {}
    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        if (const RadioStationItem* item = stationItemOf(index)) {
            const ZYMRadioStation& station = *item->zymRadioStation();
            if (!station.haveStationInfo() && !station.stationInfoPending())
                lists_.askForStationInfo(station.stationID());
        }
        DescriptiveOutlineDelegate::paint(painter, option, index);
    }

private:
    RadioStationLists& lists_;
};

// The source cell: the row's image and name; the Search Results row adds its term after
// the name, white while the row is highlighted in the focused list, else grey.
class RadioStationLists::SourceCell : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        QStyledItemDelegate::paint(painter, option, index);
        const QString suffix = index.data(ZYMItemRole::SecondaryText).toString();
        if (suffix.isEmpty()) return;
        QStyleOptionViewItem opt = option;
        initStyleOption(&opt, index);
        const QWidget* widget = opt.widget;
        QStyle* style = widget ? widget->style() : QApplication::style();
        const QRect textRect = style->subElementRect(QStyle::SE_ItemViewItemText, &opt, widget);
        const bool highlighted = (opt.state & QStyle::State_Selected) &&
                                 (opt.state & QStyle::State_HasFocus || (widget && widget->hasFocus()));
        QFont font = QApplication::font();
        font.setPointSizeF(11.0);
        painter->save();
        painter->setFont(font);
        painter->setPen(highlighted ? QColor(Qt::white) : QColor(Qt::gray));
        const int nameWidth = opt.fontMetrics.horizontalAdvance(opt.text) + 4;
        QRect rect = textRect.adjusted(nameWidth, 0, 0, 0);
        // A long term ends in an ellipsis inside the row, never cut through a letter.
        const QString shown = ZYMString::stringByTruncatingToWidth(suffix, rect.width(), ZYMString::TruncateTail,
                                                                   ZYMString::fontWidthMeasure(font));
        painter->setClipRect(textRect);
        painter->drawText(rect, Qt::AlignVCenter | Qt::AlignLeft | Qt::TextSingleLine, shown);
        painter->restore();
    }
};

class RadioStationLists::TableDelegate : public ExtendedViewDelegate {
public:
    explicit TableDelegate(RadioStationLists& lists) : lists_(lists) {}
    QMenu* contextMenuForRow(int row) override { return lists_.stationContextMenuForRow(row); }
    std::optional<Qt::DropActions> draggingSourceOperationMask(bool) override { return Qt::CopyAction; }
    void rowEntered(int row) override { lists_.window_.stationRowEntered(row); }
    void rowExited(int row) override { lists_.window_.stationRowExited(row); }
    std::optional<QPixmap> dragImageForSingleRow(int row) override {
        QPixmap image = lists_.dragImageForRow(row);
        if (image.isNull()) return std::nullopt;
        return image;
    }

private:
    RadioStationLists& lists_;
};

// The source rows are never stations: no menu, nothing to drag.
class RadioStationLists::OutlineDelegate : public ExtendedViewDelegate {
public:
    QMenu* contextMenuForRow(int) override { return nullptr; }
};

RadioStationLists::RadioStationLists(ExtendedOutlineView& sources, ExtendedTableView& stations, QLineEdit& searchField,
                                     RadioStationsDataSource& dataSource, RadioListsWindow& window)
    : sources_(sources), stations_(stations), searchField_(searchField), dataSource_(dataSource), window_(window) {
    playStopItem_ = contextMenu_.addAction(localized(StringKeys::PlayContextMenuItem));
    playStopItem_->setData(1);
    connect(playStopItem_, &QAction::triggered, this, [this] {
        if (playStopItem_->property("stops").toBool())
            window_.stopPlaying();
        else
            window_.playActiveStation();
    });
}

RadioStationLists::~RadioStationLists() {
    sources_.setViewDelegate(nullptr);
    stations_.setViewDelegate(nullptr);
    dataSource_.stationsModel().setRowWriter({});
}

void RadioStationLists::setupTableViews() {
    sources_.setModel(&dataSource_.sourcesModel());
    sources_.setRootIsDecorated(false);
    sources_.setHeaderHidden(true);
    sources_.setIndentation(kIndentationPerLevel);
    sources_.setItemDelegate(new SourceCell(&sources_));
    sources_.setSelectionMode(QAbstractItemView::SingleSelection);
    sources_.setIconSize(QSize(16, 16));
    if (sources_.width() < kMinSourceListWidth) sources_.resize(kMinSourceListWidth, sources_.height());
    sources_.setMinimumWidth(kMinSourceListWidth);

    stations_.setModel(&dataSource_.stationsModel());
    stationCell_ = new StationCell(*this, &stations_);
    stations_.setItemDelegate(stationCell_);
    stations_.setSelectionMode(QAbstractItemView::SingleSelection);
    stations_.setSelectionBehavior(QAbstractItemView::SelectRows);
    stations_.horizontalHeader()->setStretchLastSection(true);
    stations_.horizontalHeader()->hide();
    stations_.verticalHeader()->hide();
    stations_.verticalHeader()->setDefaultSectionSize(QFontMetrics(stations_.font()).height() + 4);
    stations_.setShowGrid(false);
    stations_.setDragEnabled(true);
    stations_.setDragDropMode(QAbstractItemView::DragOnly);

    tableDelegate_ = std::make_unique<TableDelegate>(*this);
    outlineDelegate_ = std::make_unique<OutlineDelegate>();
    stations_.setViewDelegate(tableDelegate_.get());
    sources_.setViewDelegate(outlineDelegate_.get());
    dataSource_.stationsModel().setRowWriter([this](const QList<int>& rows) { return writeRows(rows); });

    connect(sources_.selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] {
        if (!changingSelection_) outlineViewSelectionDidChange();
    });
    connect(stations_.selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] {
        if (!changingSelection_) tableViewSelectionDidChange();
    });
    connect(&searchField_, &QLineEdit::textChanged, this, &RadioStationLists::controlTextDidChange);
    connect(&dataSource_.stationsModel(), &QAbstractItemModel::modelReset, this, &RadioStationLists::stationsChanged);
}

void RadioStationLists::askForStationInfo(const QString& stationID) {
    if (infoAsks_.contains(stationID)) return;
    infoAsks_.append(stationID);
    if (infoAsks_.size() > 1) return;
    QMetaObject::invokeMethod(
        this,
        [this] {
            const QStringList asks = std::exchange(infoAsks_, {});
            for (const QString& id : asks)
                window_.ensureStationInfo(id);
        },
        Qt::QueuedConnection);
}

void RadioStationLists::stationsChanged() {
    adjustStationNameWidth();
    changingSelection_ = true;
    stations_.clearSelection();
    changingSelection_ = false;
    stations_.viewport()->update();
}

std::shared_ptr<RadioSourceItem> RadioStationLists::selectedSourceItem() const {
    const QModelIndexList rows = sources_.selectionModel()->selectedRows();
    if (rows.isEmpty()) return nullptr;
    const auto& sources = dataSource_.displaySources();
    const int row = rows.first().row();
    return row >= 0 && std::size_t(row) < sources.size() ? sources[std::size_t(row)] : nullptr;
}

void RadioStationLists::selectSourceItem(const std::shared_ptr<RadioSourceItem>& item) {
    const int row = dataSource_.indexOfSourceItem(item.get());
    if (row >= 0) {
        const QModelIndex index = dataSource_.sourcesModel().index(row);
        sources_.selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect);
        sources_.scrollTo(index);
    }
    dataSource_.sourceItemSelected(item);
}

std::shared_ptr<RadioStationItem> RadioStationLists::selectedRadioStationItem() const {
    const QModelIndexList rows = stations_.selectionModel()->selectedRows();
    if (rows.isEmpty()) return nullptr;
    return dataSource_.stationItemAtIndex(rows.first().row());
}

void RadioStationLists::radioStationItemSelected(const std::shared_ptr<RadioStationItem>& item) {
    window_.setActiveStation(item ? item->zymRadioStation() : nullptr);
    window_.updatePlayButtons();
    window_.updateDisplay();
}

QString RadioStationLists::selectedSourceIdentifier() const {
    const auto source = selectedSourceItem();
    return source ? source->identifier() : QString("");
}

void RadioStationLists::selectAgain(const QString& sourceID, const QString& stationID, bool onlyShown) {
    auto source = sourceID.isEmpty() ? nullptr : dataSource_.sourceItemWithIdentifier(sourceID);
    if (!source) source = dataSource_.allStationsItem();
    if (!source) return;
    if (source == dataSource_.searchResultsItem()) {
        dataSource_.searchResultsItem()->setSearchTerm(searchField_.text());
        dataSource_.sourcesModel().reloadRow(dataSource_.indexOfSourceItem(source.get()));
    }
    selectSourceItem(source);
    if (stationID.isEmpty()) return;
    const auto station = dataSource_.stationItemWithID(stationID);
    if (!station || (onlyShown && dataSource_.indexOfStationItem(station.get()) == -1)) return;
    radioStationItemSelected(station);
}

void RadioStationLists::tableViewSelectionDidChange() { radioStationItemSelected(selectedRadioStationItem()); }

void RadioStationLists::outlineViewSelectionDidChange() {
    const auto remembered = selectedRadioStationItem();
    changingSelection_ = true;
    stations_.clearSelection();
    changingSelection_ = false;
    dataSource_.sourceItemSelected(selectedSourceItem());
    if (remembered) {
        radioStationItemSelected(remembered);
    } else {
        const QString playing = window_.playingStationID();
        if (!playing.isEmpty())
            if (auto item = dataSource_.stationItemWithID(playing)) radioStationItemSelected(item);
    }
    window_.clearHoverFocus();
}

void RadioStationLists::controlTextDidChange(const QString& text) {
    const auto& search = dataSource_.searchResultsItem();
    if (!search) return;
    search->setSearchTerm(text);
    dataSource_.sourcesModel().reloadRow(dataSource_.indexOfSourceItem(search.get()));
    if (!text.isEmpty())
        selectSourceItem(search);
    else
        selectSourceItem(dataSource_.allStationsItem());
}

QMenu* RadioStationLists::stationContextMenuForRow(int row) {
    const auto item = dataSource_.stationItemAtIndex(row);
    if (!item) return nullptr;
    const bool stops = item->stationID() == window_.playingStationID();
    playStopItem_->setText(localized(stops ? StringKeys::StopContextMenuItem : StringKeys::PlayContextMenuItem));
    playStopItem_->setProperty("stops", stops);
    return &contextMenu_;
}

QString RadioStationLists::clipboardURLForStation(const QString& stationID, const QString& name) {
    auto escape = [](const QString& s) { return QString::fromLatin1(QUrl::toPercentEncoding(s)); };
    return localizedFormat(StringKeys::ClipboardStationURLFormat, {escape(stationID), escape(name)});
}

QMimeData* RadioStationLists::writeRows(const QList<int>& rows) const {
    auto data = std::make_unique<QMimeData>();
    bool wrote = false;
    for (int row : rows) {
        const auto item = dataSource_.stationItemAtIndex(row);
        if (!item) continue;
        ZYMPasteboard::setStationID(*data, item->stationID());
        writeStationURL(*data, item->stationID(), item->name(), item->stationDescription().value_or(QString()));
        wrote = true;
    }
    return wrote ? data.release() : nullptr;
}

void RadioStationLists::writeStationURL(QMimeData& data, const QString& stationID, const QString& name,
                                        const QString& description) {
    // The URL is already escaped: the plain and URI forms carry it as it is.
    const QString url = clipboardURLForStation(stationID, name);
    ZYMPasteboard::setDataForURL(data, url, name, description);
    data.setData(QStringLiteral("text/plain"), url.toUtf8());
    data.setData(QStringLiteral("text/uri-list"), url.toUtf8() + "\r\n");
    const QString mozilla = url + QLatin1Char('\n') + QString(name).replace(QLatin1Char('\n'), QLatin1Char(' '));
    data.setData(QString::fromLatin1(ZYMPasteboard::kMozillaURLMimeType),
                 QByteArray(reinterpret_cast<const char*>(mozilla.utf16()), mozilla.size() * 2));
}

QPixmap RadioStationLists::dragImageForRow(int row) const {
    const auto item = dataSource_.stationItemAtIndex(row);
    if (!item) return QPixmap();
    return dragImageForName(item->name());
}

QPixmap RadioStationLists::dragImageForName(const QString& name) {
    const QFont font = dragLabelFont();
    const QFontMetricsF metrics(font);
    const qreal nameWidth = metrics.horizontalAdvance(name);
    const qreal nameHeight = metrics.height();
    const int width = int(nameWidth + 30);
    const int height = int(nameHeight + 4);
    QPixmap image(std::max(width, 1), std::max(height, 1));
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath path;
    path.addRoundedRect(QRectF(0, 0, width, height), 6, 6);
    painter.fillPath(path, QColor::fromRgbF(0.5f, 0.5f, 0.5f, 0.45f));
    painter.setFont(font);
    const qreal x = (width - nameWidth) / 2;
    const qreal y = 1 + (height - nameHeight) / 2;
    painter.setPen(QColor::fromRgbF(1, 1, 1, 0.5f));
    painter.drawText(QPointF(x, y + metrics.ascent()), name);
    painter.setPen(QColor::fromRgbF(0, 0, 0, 0.9f));
    painter.drawText(QPointF(x, y + 1 + metrics.ascent()), name);
    return image;
}

QFont RadioStationLists::stationFont() const { return stations_.font(); }

void RadioStationLists::adjustStationNameWidth() {
    if (stationCell_) stationCell_->setDescriptionOffset(maxStationNameWidth() + kStationDescriptionGap);
}

int RadioStationLists::maxStationNameWidth() const {
    const QFontMetrics metrics(stationFont());
    int widest = 0;
    for (const auto& item : dataSource_.stationItems())
        widest = std::max(widest, metrics.horizontalAdvance(item->name()));
    return widest;
}

int RadioStationLists::maxStationDescriptionWidth() const {
    const QFontMetrics metrics(stationFont());
    int widest = 0;
    for (const auto& item : dataSource_.stationItems())
        widest = std::max(widest, metrics.horizontalAdvance(item->stationDescription().value_or(QString())));
    return widest;
}

int RadioStationLists::maxStationListWidth() const {
    return maxStationNameWidth() + kStationDescriptionGap + maxStationDescriptionWidth() +
           stations_.verticalScrollBar()->sizeHint().width();
}

int RadioStationLists::maxSourceListWidth() const {
    const QFontMetrics metrics(sources_.font());
    int widest = 0;
    for (const auto& item : dataSource_.displaySources())
        widest = std::max(widest, sources_.iconSize().width() + 3 + metrics.horizontalAdvance(item->name()));
    return widest + 2 * sources_.verticalScrollBar()->sizeHint().width();
}

namespace {
int outlineRowHeight(const QTreeView& view) {
    const int hint = view.model() && view.model()->rowCount() > 0 ? view.sizeHintForRow(0) : -1;
    return hint > 0 ? hint : QFontMetrics(view.font()).height() + 2;
}
int outlineHeaderHeight(const QTreeView& view) {
    return view.isHeaderHidden() ? 0 : view.header()->sizeHint().height();
}
int tableHeaderHeight(const QTableView& view) {
    return view.horizontalHeader()->isHidden() ? 0 : view.horizontalHeader()->sizeHint().height();
}
}  // namespace

// Qt's lists have no spacing between rows: the intercell terms are zero.
int RadioStationLists::maxSourceListHeight() const {
    return outlineRowHeight(sources_) * int(dataSource_.displaySources().size()) + outlineHeaderHeight(sources_);
}

int RadioStationLists::maxStationListHeight() const {
    return stations_.verticalHeader()->defaultSectionSize() * int(dataSource_.displayStations().size()) +
           tableHeaderHeight(stations_);
}

int RadioStationLists::maxStationsListContainerHeight() const {
    const int minimum = outlineRowHeight(sources_) * 3 + outlineHeaderHeight(sources_);
    return std::max({minimum, maxSourceListHeight(), maxStationListHeight()});
}
