#pragma once

// Small helpers over collections and values. Callables stand for selectors and key
// paths; a null QVariant stands for none, and none results are left out of the lists the
// helpers build. Every list returned keeps its source's order.

#include <QList>
#include <QMetaObject>
#include <QString>
#include <QVariant>
#include <QVariantList>
#include <QVariantMap>

#include <functional>
#include <memory>
#include <optional>

namespace ZYMUtilities {

using Selector = std::function<QVariant(const QVariant& element)>;
using SelectorWithObject = std::function<QVariant(const QVariant& element, const QVariant& object)>;
using Predicate = std::function<bool(const QVariant& element)>;
using KeyPath = std::function<QVariant(const QVariant& object)>;
// A value type a filter matches: the QMetaType id of a plain value, or the QMetaObject
// of a QObject class (held in the QVariant as a QObject pointer).
struct ClassRef {
    int metaTypeId = 0;
    const QMetaObject* metaObject = nullptr;
};

// The receiver's actions with each element as argument.
void performSelectorWithEachObjectInArray(const std::function<void(const QVariant&)>& action,
                                          const QVariantList& array);
QVariantList arrayByPerformingSelectorWithEachObjectInArray(const Selector& selector, const QVariantList& array);
QVariantList zym_valuesForKeyPaths(const QVariant& object, const QList<KeyPath>& keyPaths);
QVariantList selectObjectsFromArrayUsingBooleanSelector(const QVariantList& array, const Predicate& predicate);

// None for a null text, else the text's longValue.
std::optional<long> numberWithLongFromString(const QString& text);

QString zym_stringByTruncatingToLength(const QString& text, qsizetype length);
// The leading decimal integer as strtol reads it (blanks and a sign allowed, 0 when no
// digit leads, the long's limits on overflow); 0 when the text is not all ASCII.
long longValue(const QString& text);
// Something other than blanks and tabs (line breaks count as something).
bool isNotEmpty(const QString& text);

// The inner lists joined; an element that is not a list is a programming error
// (AssertionFailure).
QVariantList arrayWithContentsOfArrays(const QVariantList& arrays);
QVariant firstObject(const QVariantList& array);
// The transposition, as long as the shortest inner list.
QVariantList arraySlices(const QVariantList& arrays);
QVariantList arrayByMakingObjectsPerformSelector(const QVariantList& array, const Selector& selector);
QVariantList arrayByMakingObjectsPerformSelectorWithObject(const QVariantList& array,
                                                           const SelectorWithObject& selector, const QVariant& object);
// One row per element: that element's values for the key paths.
QVariantList arrayValueForKeys(const QVariantList& array, const QList<KeyPath>& keyPaths);
QVariantList filteredArrayWithKindOfClass(const QVariantList& array, const ClassRef& cls);
QVariantList filteredArrayWithMembersOfClass(const QVariantList& array, const ClassRef& cls);
QVariantList filteredArrayWithKindsOfClasses(const QVariantList& array, const QList<ClassRef>& classes);
QVariantList filteredArrayWithMembersOfClasses(const QVariantList& array, const QList<ClassRef>& classes);
QVariantList filteredArrayUsingBooleanSelector(const QVariantList& array, const Predicate& predicate);
QVariantList filteredArrayUsingNegatedBooleanSelector(const QVariantList& array, const Predicate& predicate);

// Sets are lists without repeats (first occurrence kept).
QVariantList setByMakingObjectsPerformSelector(const QVariantList& set, const Selector& selector);
QVariantList setArrayValueForKeys(const QVariantList& set, const QList<KeyPath>& keyPaths);

// A dictionary stored by reference inside a dictionary.
using MutableDictionary = std::shared_ptr<QVariantMap>;
// The one under the key, made and stored when missing; any other value there is a
// programming error (AssertionFailure).
MutableDictionary mutableDictionaryValueForKey(QVariantMap& dictionary, const QString& key);

// The text of a null entry in the address lines.
inline const QString kNullDescription = QStringLiteral("<null>");
// Each line escaped ("\n" as backslash-backslash-n, a line feed as backslash-n), joined
// by line feeds; a null entry as "<null>"; none for no lines.
std::optional<QString> encodedStreetComponentsJoinedByNewline(const QVariantList& lines);
QVariantList decodedStreetComponents(const QString& text);

}  // namespace ZYMUtilities

Q_DECLARE_METATYPE(ZYMUtilities::MutableDictionary)

// The program's application-support folder, made (with its parent) when missing; none
// when a level is not a folder or cannot be made.
std::optional<QString> EnsureApplicationSupportFolder();
