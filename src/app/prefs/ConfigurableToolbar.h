#pragma once
// The toolbar as data: item dictionaries ("identifier", "label", "palette_label",
// "tooltip", "image_name", "action", "tag", "default") followed by the four standard
// items, from which the window makes its QActions. Customisation is off, so the standard
// items are only identifiers.

#include <QIcon>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVariantList>
#include <QVariantMap>

class QAction;
class QObject;

inline constexpr const char* kToolbarSeparatorItemIdentifier = "NSToolbarSeparatorItem";
inline constexpr const char* kToolbarSpaceItemIdentifier = "NSToolbarSpaceItem";
inline constexpr const char* kToolbarFlexibleSpaceItemIdentifier = "NSToolbarFlexibleSpaceItem";
inline constexpr const char* kToolbarCustomizeItemIdentifier = "NSToolbarCustomizeToolbarItem";

class ConfigurableToolbar {
public:
    ConfigurableToolbar(const QString& identifier, const QVariantList& items);
    QString identifier() const { return identifier_; }

    static QVariantList getDefaultItems();
    void setupToolbarFromArray(const QVariantList& items);
    // Items whose "default" is 1, in item order.
    QStringList defaultItemIdentifiers() const;
    QStringList allowedItemIdentifiers() const;
    const QVariantMap& toolbarItems() const { return itemsDict_; }
    const QVariantList& items() const { return items_; }

    // A checkable action for the item, owned by `parent`; null for an unknown identifier
    // and for the standard items. Its data is the identifier, its "action" name the
    // object name.
    QAction* createItemForItemIdentifier(const QString& identifier, QObject* parent) const;

private:
    QString identifier_;
    QVariantList items_;
    QVariantMap itemsDict_;
};

// An image of the bundle by name (":/images/<name>", ".png" added when missing); a null
// icon when there is none.
QIcon prefsImageNamed(const QString& name);
