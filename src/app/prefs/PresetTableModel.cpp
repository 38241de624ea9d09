#include "PresetTableModel.h"

#include "app/foundation/ZYMPasteboard.h"

#include <QMimeData>

namespace {

std::optional<int> presetRowOf(const QMimeData* data) {
    if (!data || !data->hasFormat(QString::fromLatin1(kRadioPresetMimeType))) return std::nullopt;
    bool ok = false;
    const int row = QString::fromUtf8(data->data(QString::fromLatin1(kRadioPresetMimeType))).toInt(&ok);
    return ok ? std::optional<int>(row) : std::nullopt;
}

QString stationIDOf(const QMimeData* data) {
    if (!data || !data->hasFormat(QString::fromLatin1(ZYMPasteboard::kRadioStationMimeType))) return {};
    return ZYMPasteboard::stationID(*data);
}

}  // namespace

PresetTableModel::PresetTableModel(std::function<PresetService*()> service, QObject* parent)
    : QAbstractTableModel(parent), service_(std::move(service)) {
    reload();
}

PresetService* PresetTableModel::availableService() const {
    PresetService* service = service_ ? service_() : nullptr;
    return service && service->serviceAvailable() ? service : nullptr;
}

void PresetTableModel::reload() {
    beginResetModel();
    PresetService* service = availableService();
    rows_ = service ? qMax(0, service->maxNumberOfPresets()) : 0;
    endResetModel();
}

int PresetTableModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : rows_; }

int PresetTableModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : 1; }

QString PresetTableModel::textForRow(int row) const {
    PresetService* service = availableService();
    const std::optional<QString> name = service ? service->stationNameForPreset(row + 1) : std::nullopt;
    return QStringLiteral("%1 : %2").arg(row + 1).arg(name ? *name : QStringLiteral("<empty>"));
}

QVariant PresetTableModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rows_ || role != Qt::DisplayRole) return {};
    return textForRow(index.row());
}

Qt::ItemFlags PresetTableModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) return Qt::ItemIsDropEnabled;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsDragEnabled | Qt::ItemIsDropEnabled;
}

QStringList PresetTableModel::mimeTypes() const {
    return {QString::fromLatin1(kRadioPresetMimeType), QString::fromLatin1(ZYMPasteboard::kRadioStationMimeType)};
}

QMimeData* PresetTableModel::writeRows(const QList<int>& rows) const {
    PresetService* service = availableService();
    if (!service || rows.isEmpty() || !service->presetIsSet(rows.first() + 1)) return nullptr;
    auto* data = new QMimeData;
    data->setData(QString::fromLatin1(kRadioPresetMimeType), QByteArray::number(rows.first()));
    return data;
}

QMimeData* PresetTableModel::mimeData(const QModelIndexList& indexes) const {
    QList<int> rows;
    for (const QModelIndex& index : indexes)
        rows.append(index.row());
    return writeRows(rows);
}

PresetDrop PresetTableModel::validateDrop(const QMimeData* data, int row, bool onRow) const {
    PresetService* service = availableService();
    if (!service) return {};
    if (const std::optional<int> source = presetRowOf(data)) {
        if (*source == row || *source + 1 == row || row < 0 || row > rows_) return {};
        return {Qt::MoveAction, row, false};
    }
    const QString stationID = stationIDOf(data);
    if (!stationID.isEmpty()) {
        if (row < 0 || row >= rows_ || !service->hasStationWithID(stationID)) return {};
        return {Qt::MoveAction, row, true};
    }
    // Neither a preset nor a station: nothing to drop.
    (void)onRow;
    return {};
}

bool PresetTableModel::acceptDrop(const QMimeData* data, int row, bool onRow) {
    const PresetDrop drop = validateDrop(data, row, onRow);
    if (drop.action == Qt::IgnoreAction) return false;
    PresetService* service = availableService();
    if (const std::optional<int> source = presetRowOf(data)) {
        service->moveStationFromPreset(*source + 1, drop.row + 1);
    } else {
        service->storeStationWithIDForPreset(stationIDOf(data), drop.row + 1);
    }
    if (presetsChanged) presetsChanged();
    reload();
    return true;
}

void PresetTableModel::proposedRow(int row, const QModelIndex& parent, int rowCount, int& outRow, bool& outOn) {
    if (parent.isValid()) {
        outRow = parent.row();
        outOn = true;
    } else {
        outRow = row < 0 ? rowCount : row;
        outOn = false;
    }
}

bool PresetTableModel::canDropMimeData(const QMimeData* data, Qt::DropAction, int row, int,
                                       const QModelIndex& parent) const {
    int p = 0;
    bool on = false;
    proposedRow(row, parent, rows_, p, on);
    return validateDrop(data, p, on).action != Qt::IgnoreAction;
}

bool PresetTableModel::dropMimeData(const QMimeData* data, Qt::DropAction, int row, int, const QModelIndex& parent) {
    int p = 0;
    bool on = false;
    proposedRow(row, parent, rows_, p, on);
    return acceptDrop(data, p, on);
}
