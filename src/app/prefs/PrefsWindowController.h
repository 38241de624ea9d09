#pragma once
// A multi-pane preferences window: a toolbar of exclusive checkable items, one per pane,
// over a content area showing one pane's view. Switching panes asks the old pane to
// close and announces the new one; the window grows or shrinks to the pane keeping its
// top edge and width; the pane open at closing is remembered ("last_prefs_pane") and
// shown again on the next opening. An optional overview shows one button per pane.

#include "app/prefs/ConfigurableToolbar.h"
#include "app/prefs/PrefModel.h"

#include <QMainWindow>
#include <QPointer>
#include <QString>
#include <QVector>

#include <memory>

class QActionGroup;
class QToolBar;
class QToolButton;

inline constexpr const char* kPrefsShowAllIdentifier = "prefs_show_all";
inline constexpr const char* kPrefsNonexistentIdentifier = "prefs_nonexistent_item";
inline constexpr const char* kLastPrefsPaneKey = "last_prefs_pane";

struct PrefsPane {
    QString identifier;
    QString label;    // a strings key; the window title shows it as it is
    QString tooltip;  // a strings key, may be empty
    QString imageName;
    QWidget* view = nullptr;
};

class PrefsIconView : public QWidget {
public:
    PrefsIconView(const QVector<PrefsPane>& panes, std::function<void(const QString&)> hit, QWidget* parent = nullptr);
    const QVector<QToolButton*>& buttons() const { return buttons_; }
    // One row, 10 points below the top edge, 80 points apart from x = 20.
    void layoutButtons();

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    QVector<QToolButton*> buttons_;
};

class PrefsWindowController : public QMainWindow {
public:
    explicit PrefsWindowController(PrefStores stores = {}, QWidget* parent = nullptr);
    ~PrefsWindowController() override;

    // Sets the panes up (loadPanes) and restores the saved frame; call once after
    // construction, as a nib would.
    void awakeFromNib();

    virtual void loadPanes() {}
    virtual void paneWillDisplay(QWidget*) {}
    virtual bool paneWillClose(QWidget*) { return true; }
    virtual QString toolbarIdentifier() const { return QStringLiteral("PrefsToolbar"); }
    virtual QString windowAutosaveName() const { return QStringLiteral("prefs_window"); }

    void setPanes(const QVector<PrefsPane>& panes);
    void setShowsIconView(bool shows) { showsIconView_ = shows; }
    bool showsIconView() const { return showsIconView_; }

    QString labelForPaneWithIdentifier(const QString& identifier) const;
    QWidget* viewForPaneWithIdentifier(const QString& identifier) const;
    QString currentPaneIdentifier() const { return currentPaneIdentifier_; }
    QString windowTitleForPaneWithIdentifier(const QString& identifier) const;

    // False when the showing pane refused to close.
    bool showPaneWithIdentifier(const QString& identifier);

    const ConfigurableToolbar* configurableToolbar() const { return toolbarModel_.get(); }
    QToolBar* toolbar() const { return toolbar_; }
    PrefsIconView* iconsView() const { return iconsView_; }
    QWidget* mainView() const { return mainView_; }

    // Closes the showing pane and remembers it; false keeps the window open.
    bool windowShouldClose();
    // Shows the window and re-opens the pane that was open when it closed.
    void showWindow();

    const PrefStores& stores() const { return stores_; }

protected:
    void closeEvent(QCloseEvent* event) override;
    // Closes the window without asking again (the question was answered).
    void closeApproved();

private:
    void setupToolbar();
    void buildIconsView();
    void setMainView(QWidget* view);
    static QSize paneSize(QWidget* view);

    PrefStores stores_;
    QVector<PrefsPane> panes_;
    QString currentPaneIdentifier_;
    QString lastPaneIdentifier_;
    PrefsIconView* iconsView_ = nullptr;
    bool showsIconView_ = false;
    std::unique_ptr<ConfigurableToolbar> toolbarModel_;
    QToolBar* toolbar_ = nullptr;
    QActionGroup* toolbarGroup_ = nullptr;
    QWidget* content_ = nullptr;
    QWidget* parking_ = nullptr;
    QPointer<QWidget> mainView_;
    bool closeApproved_ = false;
};
