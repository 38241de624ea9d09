#include "app/support/ZYMUtilities.h"

#include "app/foundation/ZYMFileManager.h"
#include "app/foundation/ServiceLayerError.h"
#include "app/support/ZYMWorkspace.h"

#include <QFileInfo>

#include <cerrno>
#include <cstdlib>

namespace ZYMUtilities {

namespace {

void AppendIfSome(QVariantList& list, const QVariant& value) {
    if (!value.isNull()) list.append(value);
}

bool IsKindOf(const QVariant& v, const ClassRef& cls) {
    if (cls.metaObject) {
        QObject* o = v.value<QObject*>();
        return o && o->metaObject()->inherits(cls.metaObject);
    }
    return v.metaType().id() == cls.metaTypeId;
}

bool IsMemberOf(const QVariant& v, const ClassRef& cls) {
    if (cls.metaObject) {
        QObject* o = v.value<QObject*>();
        return o && o->metaObject() == cls.metaObject;
    }
    return v.metaType().id() == cls.metaTypeId;
}

QVariantList Distinct(const QVariantList& list) {
    QVariantList result;
    for (const auto& v : list)
        if (!result.contains(v)) result.append(v);
    return result;
}

}  // namespace

void performSelectorWithEachObjectInArray(const std::function<void(const QVariant&)>& action,
                                          const QVariantList& array) {
    for (const auto& element : array)
        action(element);
}

QVariantList arrayByPerformingSelectorWithEachObjectInArray(const Selector& selector, const QVariantList& array) {
    QVariantList result;
    for (const auto& element : array)
        AppendIfSome(result, selector(element));
    return result;
}

QVariantList zym_valuesForKeyPaths(const QVariant& object, const QList<KeyPath>& keyPaths) {
    QVariantList result;
    for (const auto& path : keyPaths)
        AppendIfSome(result, path(object));
    return result;
}

QVariantList selectObjectsFromArrayUsingBooleanSelector(const QVariantList& array, const Predicate& predicate) {
    QVariantList result;
    for (const auto& element : array)
        if (predicate(element)) result.append(element);
    return result;
}

std::optional<long> numberWithLongFromString(const QString& text) {
    if (text.isNull()) return std::nullopt;
    return longValue(text);
}

QString zym_stringByTruncatingToLength(const QString& text, qsizetype length) {
    if (length < 0) length = 0;
    return text.size() <= length ? text : text.left(length);
}

long longValue(const QString& text) {
    for (QChar c : text)
        if (c.unicode() > 0x7F) return 0;
    const QByteArray ascii = text.toLatin1();
    errno = 0;
    return std::strtol(ascii.constData(), nullptr, 10);
}

bool isNotEmpty(const QString& text) {
    for (QChar c : text)
        if (c != QLatin1Char(' ') && c != QLatin1Char('\t')) return true;
    return false;
}

QVariantList arrayWithContentsOfArrays(const QVariantList& arrays) {
    QVariantList result;
    for (const auto& inner : arrays) {
        if (inner.metaType().id() != QMetaType::QVariantList) {
            const QByteArray message =
                QByteArray(inner.typeName() ? inner.typeName() : "nil") + " should be an NSArray";
            ThrowAssertionFailure("element is an array", message.constData(), __FILE__, __LINE__);
        }
        result += inner.toList();
    }
    return result;
}

QVariant firstObject(const QVariantList& array) { return array.isEmpty() ? QVariant() : array.first(); }

QVariantList arraySlices(const QVariantList& arrays) {
    QVariantList slices;
    if (arrays.isEmpty()) return slices;
    for (qsizetype i = 0;; ++i) {
        QVariantList slice;
        for (const auto& inner : arrays) {
            const QVariantList list = inner.toList();
            if (i >= list.size()) return slices;
            slice.append(list[i]);
        }
        slices.append(QVariant(slice));
    }
}

QVariantList arrayByMakingObjectsPerformSelector(const QVariantList& array, const Selector& selector) {
    QVariantList result;
    for (const auto& element : array)
        AppendIfSome(result, selector(element));
    return result;
}

QVariantList arrayByMakingObjectsPerformSelectorWithObject(const QVariantList& array,
                                                           const SelectorWithObject& selector, const QVariant& object) {
    QVariantList result;
    for (const auto& element : array)
        AppendIfSome(result, selector(element, object));
    return result;
}

QVariantList arrayValueForKeys(const QVariantList& array, const QList<KeyPath>& keyPaths) {
    // One column per key path, then turned into rows.
    QVariantList columns;
    for (const auto& path : keyPaths)
        columns.append(QVariant(arrayByMakingObjectsPerformSelector(array, path)));
    return arraySlices(columns);
}

QVariantList filteredArrayWithKindOfClass(const QVariantList& array, const ClassRef& cls) {
    return filteredArrayWithKindsOfClasses(array, {cls});
}

QVariantList filteredArrayWithMembersOfClass(const QVariantList& array, const ClassRef& cls) {
    return filteredArrayWithMembersOfClasses(array, {cls});
}

QVariantList filteredArrayWithKindsOfClasses(const QVariantList& array, const QList<ClassRef>& classes) {
    return selectObjectsFromArrayUsingBooleanSelector(array, [&](const QVariant& v) {
        for (const auto& c : classes)
            if (IsKindOf(v, c)) return true;
        return false;
    });
}

QVariantList filteredArrayWithMembersOfClasses(const QVariantList& array, const QList<ClassRef>& classes) {
    return selectObjectsFromArrayUsingBooleanSelector(array, [&](const QVariant& v) {
        for (const auto& c : classes)
            if (IsMemberOf(v, c)) return true;
        return false;
    });
}

QVariantList filteredArrayUsingBooleanSelector(const QVariantList& array, const Predicate& predicate) {
    return selectObjectsFromArrayUsingBooleanSelector(array, predicate);
}

QVariantList filteredArrayUsingNegatedBooleanSelector(const QVariantList& array, const Predicate& predicate) {
    return selectObjectsFromArrayUsingBooleanSelector(array, [&](const QVariant& v) { return !predicate(v); });
}

QVariantList setByMakingObjectsPerformSelector(const QVariantList& set, const Selector& selector) {
    return Distinct(arrayByMakingObjectsPerformSelector(Distinct(set), selector));
}

QVariantList setArrayValueForKeys(const QVariantList& set, const QList<KeyPath>& keyPaths) {
    return arrayValueForKeys(Distinct(set), keyPaths);
}

MutableDictionary mutableDictionaryValueForKey(QVariantMap& dictionary, const QString& key) {
    const auto it = dictionary.constFind(key);
    if (it == dictionary.constEnd() || it->isNull()) {
        auto made = std::make_shared<QVariantMap>();
        dictionary.insert(key, QVariant::fromValue(made));
        return made;
    }
    if (!it->canConvert<MutableDictionary>() || it->metaType() != QMetaType::fromType<MutableDictionary>()) {
        const QByteArray message = QByteArray("mutableDictionaryValueForKey returned object of class ") +
                                   (it->typeName() ? it->typeName() : "nil");
        ThrowAssertionFailure("value is a mutable dictionary", message.constData(), __FILE__, __LINE__);
    }
    return it->value<MutableDictionary>();
}

std::optional<QString> encodedStreetComponentsJoinedByNewline(const QVariantList& lines) {
    if (lines.isEmpty()) return std::nullopt;
    QStringList escaped;
    for (const auto& line : lines) {
        QString s = line.isNull() ? kNullDescription : line.toString();
        s.replace(QStringLiteral("\\n"), QStringLiteral("\\\\n"));
        s.replace(QStringLiteral("\n"), QStringLiteral("\\n"));
        escaped.append(s);
    }
    return escaped.join(QLatin1Char('\n'));
}

QVariantList decodedStreetComponents(const QString& text) {
    QVariantList result;
    for (const QString& piece : text.split(QLatin1Char('\n'))) {
        if (piece == kNullDescription) {
            result.append(QVariant());
            continue;
        }
        QString line;
        for (qsizetype i = 0; i < piece.size();) {
            if (piece.mid(i, 3) == QLatin1String("\\\\n")) {
                line += QStringLiteral("\\n");
                i += 3;
            } else if (piece.mid(i, 2) == QLatin1String("\\n")) {
                line += QLatin1Char('\n');
                i += 2;
            } else {
                line += piece[i++];
            }
        }
        result.append(line);
    }
    return result;
}

}  // namespace ZYMUtilities

std::optional<QString> EnsureApplicationSupportFolder() {
    const QString path = ZYMWorkspace::applicationSupportPath();
    if (!ZYMFileManager::ensureDirectoriesInPath(QFileInfo(path).path())) return std::nullopt;
    if (!ZYMFileManager::ensureDirectoriesInPath(path)) return std::nullopt;
    return path;
}
