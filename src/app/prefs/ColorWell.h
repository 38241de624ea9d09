#pragma once
// A colour well: a button showing its colour that opens the colour dialog (with an
// opacity control) and announces the colour the user picked.

#include <QColor>
#include <QPushButton>

class ColorWell : public QPushButton {
    Q_OBJECT
public:
    explicit ColorWell(QWidget* parent = nullptr);
    QColor color() const { return color_; }
    // Shows the colour; announces nothing.
    void setColor(const QColor& color);
    // What a pick in the dialog does, without the dialog (tests, keyboard).
    void pickColor(const QColor& color);

signals:
    void colorPicked(const QColor& color);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void openDialog();
    QColor color_ = Qt::black;
};
