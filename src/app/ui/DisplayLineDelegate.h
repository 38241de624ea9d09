#pragma once
// Makes the buttons and images of the now-playing display's lines for the main window.

#include <QPointer>

#include <vector>

#include "app/ui/LineLayoutView.h"

class DisplayButton;
class RadioWindowController;

class DisplayLineDelegate : public LineLayoutDelegate {
public:
    explicit DisplayLineDelegate(RadioWindowController& window);
    QAbstractButton* createButtonWithTag(int tag) override;
    QWidget* createImageWithName(const QString& name) override;
    // One of the buttons made here that still exists, by address; null otherwise.
    DisplayButton* button(const void* object) const;

private:
    RadioWindowController& window_;
    std::vector<QPointer<DisplayButton>> created_;
};
