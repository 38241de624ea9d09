#pragma once

// Localized texts from the bundle's strings tables (NSBundle's
// localizedStringForKey:value:table:). A table is read once, on first use; a missing or
// malformed table answers like an empty one (its problem logged once).

#include <QHash>
#include <QString>
#include <QStringList>

class Localizer {
public:
    // The table's text for `key`; when the table lacks it, `defaultValue`, or the key
    // itself when the default is empty.
    QString text(const QString& key, const QString& defaultValue = QString(),
                 const QString& table = QStringLiteral("Localizable"));

    // Forget the tables read (tests that change the resource roots).
    void reset();

    static Localizer& shared();

private:
    const QHash<QString, QString>& load(const QString& table);
    QHash<QString, QHash<QString, QString>> tables_;
};

// A strings-table format filled in one pass, so an argument holding "%@" or "%1" (a song
// title) is shown as it is.
// "%@" and "%d", "%ld", "%u" take the next argument, "%n$@" the n-th, "%%" is "%". A
// placeholder without its argument is left as written.
QString formatOnePass(const QString& format, const QStringList& arguments);
// The number of arguments a format takes: the highest position it names.
int formatArgumentCount(const QString& format);
