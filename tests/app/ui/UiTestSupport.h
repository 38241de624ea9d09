#pragma once

#include <QRectF>
#include <QString>
#include <QStringList>

#include <ostream>

inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }
inline void PrintTo(const QStringList& l, std::ostream* os) { *os << '{' << l.join(" | ").toStdString() << '}'; }
inline void PrintTo(const QRectF& r, std::ostream* os) {
    *os << '(' << r.x() << ", " << r.y() << ", " << r.width() << ", " << r.height() << ')';
}
inline void PrintTo(const QRect& r, std::ostream* os) { PrintTo(QRectF(r), os); }
