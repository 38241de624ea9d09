#pragma once
// Window, view and list helpers of the main window.

#include <QList>
#include <QPixmap>
#include <QRect>

class QAbstractItemView;
class QAbstractScrollArea;
class QWidget;

// A screen: its whole frame and the part windows may use.
struct ScreenArea {
    QRect frame;
    QRect available;
};

// Keeps a window frame on the screens: its top inside its own screen's usable area, and
// no wider than the usable area of the screens it touches (its own screen's when it
// touches one or none); a narrowed frame that started left of that area moves into it.
QRect fitFrameToScreens(const QRect& frame, const QList<ScreenArea>& screens, int ownScreen);

// The same for a real top-level widget over the application's screens.
void fitToScreen(QWidget* window);

// The window as it shows: its grab, with the windows of their own held inside it (the ad's
// web view) drawn in at their places, which its grab alone leaves out.
QPixmap grabWithInnerWindows(QWidget* window);

// The first child widget, or null.
QWidget* firstSubview(const QWidget* view);
void removeAllSubviews(QWidget* view);
// Optionally gives `child` the parent's whole rectangle (and lets it follow the parent's
// size), then adds it.
void addSubview(QWidget* parent, QWidget* child, bool coveringBounds, bool resizable);
// The nearest ancestor that is a scroll area, or null.
QAbstractScrollArea* scrollView(const QWidget* view);
// Repaints a row; a row that does not exist repaints nothing.
void reloadRow(QAbstractItemView* view, int row);
