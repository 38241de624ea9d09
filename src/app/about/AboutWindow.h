#pragma once

// The program's own About panel: name, version and copyright, and below them the credits
// scrolling upwards half a point every 0.03 s in an endless loop while the panel is open.
// One panel for the process; closing only hides it and stops the scrolling, and showing
// it again starts from the top.
// Main thread only.

#include <QString>
#include <QWidget>

#include <functional>
#include <memory>

class QLabel;
class QTextEdit;

// What the panel shows besides the credits; missing texts are empty.
struct AboutInfo {
    QString name;
    QString shortVersion;
    QString buildVersion;
    QString copyright;
    QString iconPath;  // the program's icon; the application's window icon when empty
    // The build's own texts and icon.
    static AboutInfo fromBuild();
};

// The scrolling's repeating timer.
class AboutTicker {
public:
    virtual ~AboutTicker() = default;
    virtual void start(int intervalMs, std::function<void()> tick) = 0;
    virtual void stop() = 0;
    virtual bool isActive() const = 0;
};

class AboutWindowController : public QWidget {
    Q_OBJECT
public:
    static constexpr int kTickMs = 30;
    static constexpr double kStep = 0.5;

    // `creditsFolder` holds Credits.html, else Credits/index.html with its pictures.
    AboutWindowController(AboutInfo info, QString creditsFolder, std::unique_ptr<AboutTicker> ticker = nullptr,
                          QWidget* parent = nullptr);
    ~AboutWindowController() override;

    // The process's panel (the build's texts, the shipped credits), made on first use.
    static AboutWindowController& sharedInstance();
    // The resource folder that holds the credits (Credits.html or Credits/index.html).
    static QString shippedCreditsFolder();

    void showPanel();
    void startScrollingAnimation();
    void stopScrollingAnimation();
    void scrollOneUnit();
    void setScrollAmount(double amount);
    double scrollAmount() const { return amount_; }
    // The credits' height less the visible part's: scrolling restarts there.
    double scrollLimit() const;
    bool isScrolling() const;

    QString versionText() const;
    QString applicationNameText() const;
    QString copyrightText() const;
    // The credits as rich text, none when neither file exists.
    QString textToScroll() const;
    QTextEdit* textView() const { return textView_; }
    QLabel* iconView() const { return iconView_; }

protected:
    void closeEvent(QCloseEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void displayApplicationInfo();
    void loadTextToScroll();

    AboutInfo info_;
    QString creditsFolder_;
    std::unique_ptr<AboutTicker> ticker_;
    QLabel* versionField_ = nullptr;
    QLabel* nameField_ = nullptr;
    QLabel* copyrightField_ = nullptr;
    QLabel* iconView_ = nullptr;
    QTextEdit* textView_ = nullptr;
    double amount_ = 0;
};

// The About item of the application menu.
void orderFrontCustomAboutPanel();
