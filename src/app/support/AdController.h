#pragma once

// The banner ad of the main window: the static house banner, an ad drawn by the ad
// network's scripts for a magic number and a size, or an image ad linking to the redirect
// service. Each page is written to one of two files in the cache folder, alternating, and
// loaded from there (from memory when the file cannot be written). The controller also
// decides every navigation of the view: the listener's clicks go to the browser (http and
// https only), and the view shows only its own pages and the ad network's HTML pages. What
// a page does by itself (scripted clicks, windows, dialogs) reaches nothing outside.
//
// Values from stream metadata are escaped for their place: the magic number as a
// JavaScript string and a URL query value, the image path as a URL path.
// Main thread only.

#include <QSizeF>
#include <QString>
#include <QUrl>

#include <functional>

// The web view behind the controller.
class AdView {
public:
    virtual ~AdView() = default;
    virtual void loadUrl(const QUrl& url) = 0;
    // From memory, with no base URL.
    virtual void loadHtml(const QString& html) = 0;
    virtual void stopLoading() = 0;
    // A view that can show the house banner without a web page does so and answers true;
    // the controller then writes and loads no page for it.
    virtual bool showStaticBanner(const QString& /*bannerPath*/) { return false; }
};

enum class AdNavigationType { LinkClicked, FormSubmitted, BackForward, Reload, FormResubmitted, Other };

// Where a navigation happens: the visible ad view, or the hidden page that receives
// whatever the ad opens in a new window.
enum class AdFrame { AdView, Offscreen };

// The main window's part; every member is optional.
class AdControllerDelegate {
public:
    virtual ~AdControllerDelegate() = default;
    virtual bool shouldAdDisplay() { return true; }
    virtual void adWillChange() {}
    virtual void adDidChange() {}
};

class UserDefaults;

// host[:port] of each server.
struct AdHosts {
    QString script;    // the ad scripts and the network's HTML pages
    QString image;     // image ads
    QString redirect;  // where a click on an image ad goes

    // The user defaults "ad_script_host", "ad_image_host" and "ad_redirect_host"; empty
    // where none is set.
    static AdHosts fromDefaults(const UserDefaults& defaults);
    // Whether any ad can be shown: without a script or an image host only the house
    // banner is.
    bool configured() const { return !script.isEmpty() || !image.isEmpty(); }
    // Where the ad scripts and the network's pages come from: "https://" and the script
    // host, or the host as given when it names its own scheme ("http://host" for a host
    // that serves no https).
    static QString scriptBase(const QString& scriptHost);
};

class AdController {
public:
    using UrlOpener = std::function<void(const QUrl&)>;

    // `bannerPath` is the house banner picture; `openUrl` shows a URL in the browser.
    AdController(AdView& view, AdHosts hosts, QString bannerPath, AdControllerDelegate* delegate, UrlOpener openUrl);
    ~AdController();
    AdController(const AdController&) = delete;
    AdController& operator=(const AdController&) = delete;

    void resetToStaticAd();
    // Shows the house banner when it was refused before and nothing came since: the
    // window calls it when the panel opens.
    void showPendingStaticAd();
    void displayAdWithMagicNumber(const QString& magicNumber, QSizeF size);
    void displayAdWithImageURL(const QString& imagePath, const QString& magicNumber);

    AdControllerDelegate* delegate() const { return delegate_; }
    bool isDisplayingStaticAd() const { return displayingStaticAd_; }

    // Whether the view may go on to `url`. `byListener`: the navigation follows a click
    // of the listener's own (the view knows; a page's script cannot make one).
    bool acceptNavigation(AdFrame frame, AdNavigationType type, const QString& url, bool byListener);
    // A page asks for a new window: after a click of the listener's its http or https URL
    // goes to the browser; nothing opens otherwise.
    void newWindowRequested(const QString& url, bool byListener);
    void consoleMessage(const QString& message);
    // A page's alert, confirm or prompt (`kind`), answered as if dismissed: only logged.
    void scriptDialogRefused(const QString& kind, const QString& message);
    // Hands `url` to the browser when it is http or https; logs and drops anything else.
    void openInBrowser(const QString& url);

    // One of the ad files of a living controller, as a path or a file URL.
    static bool isKnownCacheFile(const QString& url);
    static QString fileUrlText(const QString& path);

    static QString staticPage(const QString& bannerUrl);
    static QString scriptPage(const QString& scriptHost, const QString& magicNumber, QSizeF size);
    static QString imagePage(const AdHosts& hosts, const QString& imagePath, const QString& magicNumber);

private:
    // `staticBanner`: the house banner, which the view may show without a page.
    // True when the page went to the view (the delegate did not refuse it).
    bool loadHTMLBody(const QString& html, bool staticBanner = false);

    AdView& view_;
    AdHosts hosts_;
    QString bannerPath_;
    AdControllerDelegate* delegate_;
    UrlOpener openUrl_;
    bool displayingStaticAd_ = false;
    bool staticAdPending_ = false;
};
