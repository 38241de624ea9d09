#include "app/ui/AttributedText.h"

#include <QFontMetricsF>
#include <QPainter>

AttributedText::AttributedText(const QString& text, const QFont& font, const QColor& color)
    : runs{TextRun{text, font, color}} {}

QString AttributedText::string() const {
    QString s;
    for (const TextRun& r : runs)
        s += r.text;
    return s;
}

AttributedText AttributedText::byAppending(const AttributedText& other) const {
    AttributedText copy = *this;
    copy.append(other);
    return copy;
}

QSizeF AttributedText::size() const {
    qreal w = 0, h = 0;
    for (const TextRun& r : runs) {
        const QFontMetricsF m(r.font);
        w += m.horizontalAdvance(r.text);
        h = std::max(h, m.height());
    }
    return {w, h};
}

void AttributedText::draw(QPainter& painter, const QRectF& rect, std::optional<QColor> color) const {
    qreal ascent = 0;
    for (const TextRun& r : runs)
        ascent = std::max(ascent, QFontMetricsF(r.font).ascent());
    painter.save();
    painter.setClipRect(rect, Qt::IntersectClip);
    const QPen base = painter.pen();
    qreal x = rect.x();
    for (const TextRun& r : runs) {
        painter.setFont(r.font);
        if (color)
            painter.setPen(*color);
        else
            painter.setPen(r.color.isValid() ? QPen(r.color) : base);
        painter.drawText(QPointF(x, rect.y() + ascent), r.text);
        x += QFontMetricsF(r.font).horizontalAdvance(r.text);
    }
    painter.restore();
}
