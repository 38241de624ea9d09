#pragma once
// What the panes of the preferences window build their views with.

#include <QString>

class QLayout;
class QWidget;

namespace RadioPrefsPanes {

// The localized text of a strings-table key.
QString text(const char* key);
// A localized printf-style format with one integer ("%d", "%ld", "%i") or one string ("%@").
QString formatted(const QString& format, const QString& argument);
// A pane's view laid out by `layout`.
QWidget* pane(QLayout* layout);

}  // namespace RadioPrefsPanes
