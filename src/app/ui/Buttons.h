#pragma once
// The main window's custom buttons: rollover buttons that report the mouse to a target,
// preset buttons that take a dragged station, and the pill-shaped display buttons of the
// now-playing line.

#include "app/ui/AttributedText.h"

#include <QColor>
#include <QPointer>
#include <QPushButton>

#include <QMenu>

// Told when the mouse (or a dragged station) enters or leaves a button.
class MouseTracking {
public:
    virtual ~MouseTracking() = default;
    virtual void mouseDidEnterView(QWidget* view) = 0;
    virtual void mouseDidExitView(QWidget* view) = 0;
};

class RolloverButton : public QPushButton {
    Q_OBJECT
public:
    explicit RolloverButton(QWidget* parent = nullptr);

    void setMouseTrackingTarget(MouseTracking* target) { tracking_ = target; }
    MouseTracking* mouseTrackingTarget() const { return tracking_; }
    // Draw the border only while the mouse is inside.
    void setCellShowsBorderOnlyWhileMouseInside(bool flag);
    bool cellShowsBorderOnlyWhileMouseInside() const { return borderOnlyInside_; }
    bool isMouseInside() const { return inside_; }

    void mouseEnteredButton();
    void mouseExitedButton();

protected:
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void updateFlat();
    MouseTracking* tracking_ = nullptr;
    bool borderOnlyInside_ = false;
    bool inside_ = false;
};

// What a preset button's window offers: the main window answers and stores presets; a
// preset button in any other window takes drops without effect.
class PresetHost {
public:
    virtual ~PresetHost() = default;
    virtual QString stationIDOnPreset(int preset) const = 0;
    virtual void storeStationIDOnPreset(const QString& stationID, int preset) = 0;
};

// A preset button; its preset number is its tag. Draws its band image (normal, or
// selected while checked, pressed or a drop is offered) and its title centred in a small
// font, clipped to the button.
class PresetButton : public RolloverButton {
    Q_OBJECT
public:
    PresetButton(int tag, QWidget* parent = nullptr);
    int tag() const { return tag_; }
    // Option shows presets 6 to 10 on the same buttons.
    void setTag(int tag) { tag_ = tag; }
    bool isDragHighlighted() const { return dragHighlight_; }
    QString existingPresetStationID() const;
    QSize sizeHint() const override;
    // The bar's pieces by slot: the first of every five has the left cap, the fifth the
    // right cap, the others the middle ("preset_left_normal", "preset_center_selected"...).
    static QString imageNameForSlot(int slot, bool selected);

protected:
    void paintEvent(QPaintEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dragLeaveEvent(QDragLeaveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    bool acceptsDrag(const class QDropEvent& event);
    void showDragHighlight(bool flag);
    int tag_;
    bool dragHighlight_ = false;
};

inline constexpr const char* kDisplayButtonWillPopUpNotification = "DisplayButtonCellWillPopUpNotification";

// A clickable word of the now-playing display: a translucent pill in the display's text
// colour that brightens under the mouse. With a menu, a click or the keyboard posts
// "DisplayButtonCellWillPopUpNotification" (object: the button) and then pops the menu;
// without one it is a push button.
class DisplayButton : public RolloverButton {
    Q_OBJECT
public:
    DisplayButton(int tag, QWidget* parent = nullptr);
    int tag() const { return tag_; }

    void setAttributedTitle(const AttributedText& title);
    const AttributedText& attributedTitle() const { return title_; }
    void setPopupMenu(QMenu* menu) { menu_ = menu; }
    QMenu* popupMenu() const { return menu_; }
    void setButtonColor(const QColor& color);
    QColor buttonColor() const { return color_; }

    // ceil(title width) + title height by title height + 2.
    QSize sizeHint() const override;
    // Fill and stroke alphas of the current state.
    std::pair<qreal, qreal> fillAndStrokeAlpha() const;
    // Where the title is drawn in `bounds`.
    QRectF drawingRectForBounds(const QRectF& bounds) const;
    void popUpMenu();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    int tag_;
    AttributedText title_;
    QPointer<QMenu> menu_;
    QColor color_ = Qt::black;
    bool menuShown_ = false;
};
