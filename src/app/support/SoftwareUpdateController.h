#pragma once

// The software-update check: fetches the XML feed named by `update_package_url`, keeps
// the products that apply to this machine and were not offered too recently, and shows
// one alert per chosen product. What was offered is remembered as dated markers in the
// settings shared by the maker's programs; the listener's choice goes to the interface
// analytics (6600 download now, 6601 more info or later).
//
// Safety: nothing is fetched without a configured feed URL; a redirect serves only the
// check that met it; a URL from the feed is opened only when it is https on an allowed
// host (the feed's own host or one listed in `update_allowed_hosts`), otherwise it counts
// as a failed opening. A non-2xx answer, a failed or timed-out download gives no alert.
//
// Main thread only: the download runs on the calling thread's event loop, and the alerts
// come one after another through the dialog presenter.

#include <QDateTime>
#include <QHash>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class Clock;
class Scheduler;
class ScheduledTimer;
class DialogPresenter;
class Localizer;
class QSettings;
class UserDefaults;
class ZYMSimpleXMLDocument;

// One product version, as the feed describes it or as installed.
struct ProductInfo {
    QString type;  // "gm" when the feed leaves it out
    QString identifier;
    QString spin;
    QString nagEnd;
    QString typeRestriction;
    QString identifierRestriction;
    QString spinRestriction;
    QString windowTitle;
    QString title;
    QString description;
    QString downloadUrl;
    QString infoUrl;

    bool isEmpty() const { return identifier.isEmpty() && spin.isEmpty() && type.isEmpty(); }
    // "identifier_type_spin".
    QString markerKey() const { return identifier + u'_' + type + u'_' + spin; }
    QString markerPrefix() const { return identifier + u'_' + type + u'_'; }
    QString describe() const;
};

class SoftwareUpdateController {
public:
    static constexpr std::chrono::milliseconds kTimeout{30000};
    static constexpr int kMaxRedirects = 5;
    static constexpr qint64 kNagInterval = 7 * 24 * 3600;  // seconds
    static constexpr int kEventDownloadNow = 6600;
    static constexpr int kEventMoreInfo = 6601;
    static constexpr const char* kOwnIdentifier = "org.zym.Radio";

    struct Dependencies {
        UserDefaults* defaults = nullptr;      // null: the standard user defaults
        Localizer* localizer = nullptr;        // null: the shared localizer
        DialogPresenter* presenter = nullptr;  // null: the main presenter
        Clock* clock = nullptr;                // null: the system clock
        // The markers; null: QSettings("zym", "products.update").
        std::shared_ptr<QSettings> markers;
        // Opens a URL in the browser; unset: QDesktopServices::openUrl.
        std::function<bool(const QUrl&)> openURL;
        // An installed product of the maker by identifier; unset: the installed .desktop
        // files (X-ZYM-Identifier, -Version, -BuildType), and this program itself.
        std::function<std::optional<ProductInfo>(const QString&)> installedProduct;
        // The analytics report of the choice; unset: the shared liaison.
        std::function<void(int)> reportEvent;
        // This program's record; unset: org.zym.Radio with the build's type and number.
        std::optional<ProductInfo> currentProduct;
        std::chrono::milliseconds timeout = kTimeout;
    };

    SoftwareUpdateController();
    explicit SoftwareUpdateController(Dependencies dependencies);
    ~SoftwareUpdateController();
    SoftwareUpdateController(const SoftwareUpdateController&) = delete;
    SoftwareUpdateController& operator=(const SoftwareUpdateController&) = delete;

    static SoftwareUpdateController& sharedController();

    // The configured feed URL; empty when none is configured.
    QUrl packageURL() const;

    // One check, when the listener wants them (either update setting YES). A check
    // while a download runs cancels it and starts over.
    void checkForUpdates();
    // mode 1: this program only; mode 2: every installed product of the maker.
    void checkForUpdates(int mode);

    bool isDownloading() const;
    int alertsWaiting() const;

    // The pieces of the decision, public for the tests of their tables.
    ProductInfo currentProductInfo() const;
    static ProductInfo productInfoFromProductElement(const class ZYMSimpleXMLElement& product);
    static bool meetsRestriction(const ProductInfo* reference, const QString& restriction, const QString& value);
    bool updatePrefsContainProduct(const ProductInfo& product) const;
    bool nagThisProduct(const ProductInfo& product) const;
    void addProductToUpdatePrefs(const ProductInfo& product);
    // Candidates of a parsed feed; nullopt when it is no feed.
    std::optional<std::vector<ProductInfo>> candidates(const ZYMSimpleXMLDocument& document,
                                                       bool thisProgramOnly) const;
    static std::vector<ProductInfo> bestNotices(const std::vector<ProductInfo>& candidates);
    // "%Y-%m-%dT%H:%M:%SZ %Z" with a zone name or abbreviation (GMT, UTC or a zone id).
    static std::optional<QDateTime> parseNagEnd(const QString& text);
    // https on an allowed host.
    bool mayOpen(const QUrl& url) const;

    // Called with the parsed feed of a finished download.
    void processPackage(const ZYMSimpleXMLDocument& document);

    struct Impl;

private:
    std::unique_ptr<Impl> impl_;
};

// The main window's update timer: a first check 30 s after start(), then one every
// `update_check_interval` seconds (86400 when absent or its integer part is 0; a
// negative value stops after the first check).
class SoftwareUpdateTimer {
public:
    static constexpr std::chrono::milliseconds kFirstCheck{30000};

    SoftwareUpdateTimer(UserDefaults& defaults, Scheduler& scheduler, std::function<void()> check);
    ~SoftwareUpdateTimer();
    SoftwareUpdateTimer(const SoftwareUpdateTimer&) = delete;
    SoftwareUpdateTimer& operator=(const SoftwareUpdateTimer&) = delete;

    void start();
    // The wait before the next check; nullopt: no more checks.
    static std::optional<std::chrono::milliseconds> interval(const UserDefaults& defaults);

private:
    void fire();
    UserDefaults& defaults_;
    Scheduler& scheduler_;
    std::function<void()> check_;
    std::unique_ptr<ScheduledTimer> timer_;
};
