#pragma once
// A line of text in runs of one font and colour each (the attributed strings of the
// display): measured and drawn as one line.

#include <QColor>
#include <QFont>
#include <QList>
#include <QSizeF>
#include <QString>

#include <optional>

class QPainter;

struct TextRun {
    QString text;
    QFont font;
    QColor color;  // invalid: the painter's pen colour
};

class AttributedText {
public:
    AttributedText() = default;
    AttributedText(const QString& text, const QFont& font, const QColor& color = QColor());

    QList<TextRun> runs;

    QString string() const;
    bool isEmpty() const { return string().isEmpty(); }
    void append(const AttributedText& other) { runs.append(other.runs); }
    AttributedText byAppending(const AttributedText& other) const;
    // Width: the sum of the runs' advances; height: the tallest run's line height.
    QSizeF size() const;
    // Draws from the top left of `rect`, clipped to it; `color` overrides every run's.
    void draw(QPainter& painter, const QRectF& rect, std::optional<QColor> color = std::nullopt) const;
};
