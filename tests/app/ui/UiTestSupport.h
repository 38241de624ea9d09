#pragma once

#include "../foundation/AppTestSupport.h"

#include <QRectF>

#include <ostream>

inline void PrintTo(const QRectF& r, std::ostream* os) {
    *os << '(' << r.x() << ", " << r.y() << ", " << r.width() << ", " << r.height() << ')';
}
inline void PrintTo(const QRect& r, std::ostream* os) { PrintTo(QRectF(r), os); }
