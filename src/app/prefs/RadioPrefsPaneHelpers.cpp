#include "app/prefs/RadioPrefsPaneHelpers.h"

#include "app/foundation/Localizer.h"

#include <QLayout>
#include <QStringList>
#include <QWidget>

namespace RadioPrefsPanes {

QString text(const char* key) { return Localizer::shared().text(QString::fromLatin1(key)); }

QString formatted(const QString& format, const QString& argument) {
    static const QStringList specifiers = {QStringLiteral("%ld"), QStringLiteral("%d"), QStringLiteral("%i"),
                                           QStringLiteral("%@"), QStringLiteral("%1")};
    for (const QString& spec : specifiers) {
        const int at = format.indexOf(spec);
        if (at >= 0) return QString(format).replace(at, spec.size(), argument);
    }
    return format;
}

QWidget* pane(QLayout* layout) {
    auto* view = new QWidget;
    view->setLayout(layout);
    return view;
}

}  // namespace RadioPrefsPanes
