#include "ConfigurableToolbar.h"

#include "app/foundation/Localizer.h"

#include <QAction>
#include <QFile>

namespace {

QString localized(const QVariant& key) {
    const QString text = key.toString();
    return text.isEmpty() ? QString() : Localizer::shared().text(text);
}

}  // namespace

QIcon prefsImageNamed(const QString& name) {
    if (name.isEmpty()) return {};
    QString path = QStringLiteral(":/images/") + name;
    if (!QFile::exists(path)) path += QStringLiteral(".png");
    return QFile::exists(path) ? QIcon(path) : QIcon();
}

ConfigurableToolbar::ConfigurableToolbar(const QString& identifier, const QVariantList& items)
    : identifier_(identifier) {
    setupToolbarFromArray(items);
}

QVariantList ConfigurableToolbar::getDefaultItems() {
    QVariantList items;
    for (const char* id : {kToolbarSeparatorItemIdentifier, kToolbarSpaceItemIdentifier,
                           kToolbarFlexibleSpaceItemIdentifier, kToolbarCustomizeItemIdentifier})
        items.append(QVariantMap{{QStringLiteral("identifier"), QString::fromLatin1(id)}});
    return items;
}

void ConfigurableToolbar::setupToolbarFromArray(const QVariantList& items) {
    items_ = items + getDefaultItems();
    itemsDict_.clear();
    for (const QVariant& item : items_) {
        const QVariantMap map = item.toMap();
        itemsDict_.insert(map.value(QStringLiteral("identifier")).toString(), map);
    }
}

QStringList ConfigurableToolbar::defaultItemIdentifiers() const {
    QStringList ids;
    for (const QVariant& item : items_) {
        const QVariantMap map = item.toMap();
        if (map.value(QStringLiteral("default")).toInt() == 1)
            ids.append(map.value(QStringLiteral("identifier")).toString());
    }
    return ids;
}

QStringList ConfigurableToolbar::allowedItemIdentifiers() const { return itemsDict_.keys(); }

QAction* ConfigurableToolbar::createItemForItemIdentifier(const QString& identifier, QObject* parent) const {
    if (!itemsDict_.contains(identifier)) return nullptr;
    const QVariantMap item = itemsDict_.value(identifier).toMap();
    if (!item.contains(QStringLiteral("label"))) return nullptr;
    auto* action = new QAction(localized(item.value(QStringLiteral("label"))), parent);
    action->setData(identifier);
    action->setCheckable(true);
    action->setObjectName(item.value(QStringLiteral("action")).toString());
    action->setIconText(action->text());
    action->setProperty("tag", item.value(QStringLiteral("tag")).toInt());
    action->setProperty("palette_label", localized(item.value(QStringLiteral("palette_label"))));
    const QString tip = localized(item.value(QStringLiteral("tooltip")));
    if (!tip.isEmpty()) action->setToolTip(tip);
    action->setIcon(prefsImageNamed(item.value(QStringLiteral("image_name")).toString()));
    return action;
}
