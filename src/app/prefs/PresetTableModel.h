#pragma once
// The presets pane's table: one row per preset slot of the radio service (row r shows
// slot r + 1), preset rows dragged to a new position, stations from the main window's
// list dropped onto a row.

#include <QAbstractTableModel>
#include <QString>

#include <functional>
#include <optional>

class QMimeData;

// A preset row inside the table; its text is the row (from 0) in decimal.
inline constexpr const char* kRadioPresetMimeType = "application/x-zymradio-preset-row";
inline constexpr const char* kRadioServicePresetsChangedNotification = "kRadioServicePresetsChangedNotification";

// What the pane uses of the radio service; slots count from 1.
class PresetService {
public:
    virtual ~PresetService() = default;
    virtual bool serviceAvailable() const = 0;
    virtual int maxNumberOfPresets() const = 0;
    // The name of the slot's station; none for an empty slot or an unknown station.
    virtual std::optional<QString> stationNameForPreset(int slot) const = 0;
    bool presetIsSet(int slot) const { return stationNameForPreset(slot).has_value(); }
    virtual void removePreset(int slot) = 0;
    // Takes the slot's station out and inserts it before slot `to`.
    virtual void moveStationFromPreset(int from, int to) = 0;
    virtual bool hasStationWithID(const QString& stationID) const = 0;
    virtual void storeStationWithIDForPreset(const QString& stationID, int slot) = 0;
    // The sender of the service's established and no-longer-valid notifications.
    virtual const void* notificationSender() const = 0;
};

// Where a drag over the table would land.
struct PresetDrop {
    Qt::DropAction action = Qt::IgnoreAction;  // IgnoreAction: refused
    int row = -1;
    bool onRow = false;  // on the row, else above it
};

class PresetTableModel : public QAbstractTableModel {
public:
    explicit PresetTableModel(std::function<PresetService*()> service, QObject* parent = nullptr);

    // The service only while it is available.
    PresetService* availableService() const;
    void reload();

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    QStringList mimeTypes() const override;
    QMimeData* mimeData(const QModelIndexList& indexes) const override;
    Qt::DropActions supportedDragActions() const override { return Qt::MoveAction; }
    Qt::DropActions supportedDropActions() const override { return Qt::MoveAction | Qt::CopyAction; }
    bool canDropMimeData(const QMimeData* data, Qt::DropAction action, int row, int column,
                         const QModelIndex& parent) const override;
    bool dropMimeData(const QMimeData* data, Qt::DropAction action, int row, int column,
                      const QModelIndex& parent) override;

    // "%d : name" or "%d : <empty>".
    QString textForRow(int row) const;
    // Drag start: the first row, when its slot holds a station.
    QMimeData* writeRows(const QList<int>& rows) const;
    // The proposed row with `onRow` as the view offers it.
    PresetDrop validateDrop(const QMimeData* data, int row, bool onRow) const;
    // Performs the drop; false when refused (nothing changed, nothing posted).
    bool acceptDrop(const QMimeData* data, int row, bool onRow);

    // After an accepted change of the presets.
    std::function<void()> presetsChanged;

private:
    static void proposedRow(int row, const QModelIndex& parent, int rowCount, int& outRow, bool& outOn);
    std::function<PresetService*()> service_;
    int rows_ = 0;
};
