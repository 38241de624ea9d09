#pragma once

#include "app/prefs/RadioPrefsWindowController.h"
#include "app/foundation/Clock.h"
#include "app/ui/ColorSchemeController.h"

#include "PrefsTestSupport.h"

#include <QMap>
#include <QStringList>

// Preset slots and a directory in memory; the operations behave as the radio service's.
class FakePresetService : public PresetService {
public:
    FakePresetService() { slots_ = QStringList(5, QString()); }
    bool available = true;
    QMap<QString, QString> directory;  // identifier -> name
    QStringList& presets() { return slots_; }
    QStringList calls;

    bool serviceAvailable() const override { return available; }
    int maxNumberOfPresets() const override { return int(slots_.size()); }
    std::optional<QString> stationNameForPreset(int slot) const override {
        if (slot < 1 || slot > slots_.size() || !directory.contains(slots_[slot - 1])) return std::nullopt;
        return directory.value(slots_[slot - 1]);
    }
    void removePreset(int slot) override {
        calls << QStringLiteral("remove %1").arg(slot);
        if (slot >= 1 && slot <= slots_.size()) slots_[slot - 1].clear();
    }
    void moveStationFromPreset(int from, int to) override {
        calls << QStringLiteral("move %1 %2").arg(from).arg(to);
        if (from < 1 || from > slots_.size() || to > slots_.size() + 1 || to == from || to == from + 1) return;
        const QString id = slots_.takeAt(from - 1);
        slots_.insert(to > from ? to - 2 : to - 1, id);
    }
    bool hasStationWithID(const QString& id) const override { return directory.contains(id); }
    void storeStationWithIDForPreset(const QString& id, int slot) override {
        calls << QStringLiteral("store %1 %2").arg(id).arg(slot);
        slots_[slot - 1] = id;
    }
    const void* notificationSender() const override { return this; }

private:
    QStringList slots_;
};

struct RadioPrefsFixture : PrefsFixture {
    RadioPrefsFixture() {
        defaults.registerDefaults({{"show_nowplaying_overlay", true},
                                   {"set_ichat_status", true},
                                   {"play_at_launch", true},
                                   {"update_notice_all", true}});
    }
    FakeClock clock{QDateTime(QDate(2024, 3, 30), QTime(22, 0), Qt::UTC)};
    FakeScheduler scheduler{&clock};
    ColorSchemeController colors{defaults, center};
    FakePresetService radio;
    bool radioConnected = true;

    RadioPrefsEnvironment environment(QTimeZone zone = QTimeZone::utc()) {
        RadioPrefsEnvironment env;
        env.stores = stores();
        env.radioService = [this]() -> PresetService* { return radioConnected ? &radio : nullptr; };
        env.keychainService = [] { return QStringLiteral("ZYM Radio"); };
        env.colors = &colors;
        env.clock = &clock;
        env.timeZone = zone;
        env.scheduler = &scheduler;
        return env;
    }
};
