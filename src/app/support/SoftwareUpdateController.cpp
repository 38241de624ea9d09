#include "app/support/SoftwareUpdateController.h"

#include "app/foundation/Clock.h"
#include "app/signon/DialogPresenter.h"
#include "app/foundation/Localizer.h"
#include "app/foundation/ServiceLayerError.h"
#include "app/foundation/UserDefaults.h"
#include "app/support/ZYMLiaison.h"
#include "app/support/ZYMSimpleXMLDocument.h"
#include "app/support/ZYMWorkspace.h"
#include "runtime/LogMessage.h"
#include "app/support/ZYMHttpRequestor.h"

#include <QDesktopServices>
#include <QRegularExpression>
#include <QSettings>
#include <QTimeZone>

#include <cmath>
#include <limits>

#ifndef ZYM_BUILD_TYPE
#define ZYM_BUILD_TYPE "gm"
#endif
#ifndef ZYM_BUILD_NUMBER
#define ZYM_BUILD_NUMBER "1"
#endif

namespace {

// The integer reading of a spin: its leading decimal digits (after blanks and a sign),
// 0 when there are none; saturates instead of overflowing.
long long leadingInteger(const QString& text) {
    qsizetype i = 0;
    while (i < text.size() && (text[i] == u' ' || text[i] == u'\t' || text[i] == u'\n'))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == u'-' || text[i] == u'+')) negative = text[i++] == u'-';
    long long value = 0;
    for (; i < text.size() && text[i] >= u'0' && text[i] <= u'9'; ++i) {
        const int digit = text[i].unicode() - u'0';
        if (value > (std::numeric_limits<long long>::max() - digit) / 10) {
            value = std::numeric_limits<long long>::max();
            continue;
        }
        value = value * 10 + digit;
    }
    return negative ? -value : value;
}

QString childText(const ZYMSimpleXMLElement& parent, const QString& tag) {
    const ZYMSimpleXMLElement* child = parent.childWithTag(tag);
    return child && !child->text().isNull() ? child->text() : QStringLiteral("");
}

}  // namespace

QString ProductInfo::describe() const {
    QStringList lines;
    auto add = [&](const char* key, const QString& value) {
        if (!value.isEmpty()) lines << QStringLiteral("    %1 = \"%2\";").arg(QLatin1String(key), value);
    };
    add("kProductInfo_Type", type);
    add("kProductInfo_Identifier", identifier);
    add("kProductInfo_Spin", spin);
    add("kProductInfo_NagEnd", nagEnd);
    add("kProductInfo_TypeRestriction", typeRestriction);
    add("kProductInfo_IdentifierRestriction", identifierRestriction);
    add("kProductInfo_SpinRestriction", spinRestriction);
    add("kProductInfo_Title", title);
    add("kProductInfo_DownloadUrl", downloadUrl);
    add("kProductInfo_InfoUrl", infoUrl);
    return QStringLiteral("{\n") + lines.join(u'\n') + QStringLiteral("\n}");
}

struct SoftwareUpdateController::Impl : ZYMHttpRequestorDelegate {
    SoftwareUpdateController* owner = nullptr;
    UserDefaults* defaults = nullptr;
    Localizer* localizer = nullptr;
    DialogPresenter* presenter = nullptr;
    Clock* clock = nullptr;
    std::shared_ptr<QSettings> markers;
    std::function<bool(const QUrl&)> openURL;
    std::function<std::optional<ProductInfo>(const QString&)> installedProduct;
    std::function<void(int)> reportEvent;
    std::optional<ProductInfo> currentProduct;
    std::chrono::milliseconds timeout{kTimeout};

    int mode = 0;
    QUrl fetching;  // the URL of the running download; a redirect changes it for this check only
    int redirects = 0;
    std::unique_ptr<ZYMHttpRequestor> transfer;
    QByteArray body;
    std::unique_ptr<ScheduledTimer> timer;

    std::vector<ProductInfo> picks;
    size_t nextPick = 0;
    bool alertShowing = false;

    void start(const QUrl& url) {
        transfer.reset();
        body.clear();
        fetching = url;
        // Only a 302 is followed, by hand, so this check knows where the feed now is.
        transfer = std::make_unique<ZYMHttpRequestor>(url, this);
        transfer->setAutoRedirect(false);
        transfer->setHeader(QStringLiteral("Cache-Control"), QStringLiteral("no-cache"));
        transfer->setHeader(QStringLiteral("Pragma"), QStringLiteral("no-cache"));
        timer = Scheduler::main().singleShot(timeout, [this] { stop(); });
        transfer->execute();
    }

    // A failed download is silent: the next check tries again.
    void stop() {
        timer.reset();
        // May run inside the requestor's own message, which allows its deletion.
        transfer.reset();
        body.clear();
    }

    void requestProgress(ZYMHttpRequestor*, const QByteArray& data) override {
        // A feed the XML tree would refuse as too large is not read further: what came is
        // enough for the tree to refuse it.
        if (body.size() > ZYMSimpleXMLDocument::kMaxDocumentBytes) return;
        body.append(data);
        if (body.size() > ZYMSimpleXMLDocument::kMaxDocumentBytes) {
            Guarded("software update", [&] {
                const QByteArray feed = std::move(body);
                stop();
                // The tree refuses it and says so; there is nothing to offer.
                owner->processPackage(ZYMSimpleXMLDocument(feed));
            });
        }
    }

    void requestFinished(ZYMHttpRequestor*) override {
        Guarded("software update", [&] { completed(); });
    }

    void requestFailed(ZYMHttpRequestor*, const ZYMHttpRequestorError&) override { stop(); }

    void completed() {
        const int status = transfer->getStatusCode();
        const QString location = transfer->getHeader(QStringLiteral("Location"));
        if (status == 302 && !location.isNull()) {
            const QUrl next = fetching.resolved(QUrl(location));
            if (++redirects > kMaxRedirects || !next.isValid()) return stop();
            return start(next);
        }
        if (status < 200 || status > 299) return stop();
        const QByteArray feed = std::move(body);
        stop();
        const ZYMSimpleXMLDocument document(feed);
        // Both modes process a downloaded feed; mode 2 takes its references from the
        // installed products.
        owner->processPackage(document);
    }

    QString tableText(const char* key) const {
        const QString k = QLatin1String(key);
        const QString text = localizer->text(k, QString(), QStringLiteral("SoftwareUpdate"));
        return text == k ? QString() : text;
    }

    void showNext() {
        if (alertShowing || nextPick >= picks.size()) return;
        const size_t index = nextPick++;
        const ProductInfo product = picks[index];
        const size_t total = picks.size();
        owner->addProductToUpdatePrefs(product);

        DialogRequest request;
        request.style = DialogRequest::Style::Informational;
        request.messageText = product.title;
        request.informativeText = product.description;
        std::vector<int> results;
        request.buttons << tableText(product.downloadUrl.isEmpty() ? "OKButtonTitle" : "DownloadNowButtonTitle");
        results.push_back(1);
        if (!product.infoUrl.isEmpty()) {
            request.buttons << tableText("MoreInfoButtonTitle");
            results.push_back(0);
        }
        if (!product.downloadUrl.isEmpty()) {
            request.buttons << tableText("DownloadLaterButtonTitle");
            results.push_back(-1);
        }
        request.title = product.windowTitle.isEmpty() ? tableText("DefaultPanelTitle") : product.windowTitle;
        if (total > 1) request.title += tableText("PanelTitleSuffixFormat").arg(index + 1).arg(total);

        alertShowing = true;
        presenter->present(request, nullptr, [this, product, results](int button) {
            alertShowing = false;
            if (button >= 0 && size_t(button) < results.size()) performUpdateAction(results[size_t(button)], product);
            showNext();
        });
    }

    bool open(const QString& text) {
        const QUrl url(text);
        return owner->mayOpen(url) && openURL(url);
    }

    void performUpdateAction(int result, const ProductInfo& product) {
        if (result == 1) {
            if (!product.downloadUrl.isEmpty() && open(product.downloadUrl)) reportEvent(kEventDownloadNow);
        } else if (result == 0) {
            if (!product.infoUrl.isEmpty() && open(product.infoUrl)) reportEvent(kEventMoreInfo);
        } else if (result == -1) {
            reportEvent(kEventMoreInfo);
        }
    }

    // The first marker key of the product: the prefix "identifier_type_" (any case)
    // followed by a spin without "_".
    QString findMarker(const ProductInfo& product) const {
        const QString prefix = product.markerPrefix();
        for (const QString& key : markers->allKeys()) {
            if (key.startsWith(prefix, Qt::CaseInsensitive) && !key.mid(prefix.size()).contains(u'_')) return key;
        }
        return {};
    }
};

SoftwareUpdateController::SoftwareUpdateController(Dependencies d) : impl_(std::make_unique<Impl>()) {
    impl_->owner = this;
    impl_->defaults = d.defaults ? d.defaults : &UserDefaults::standardUserDefaults();
    impl_->localizer = d.localizer ? d.localizer : &Localizer::shared();
    impl_->presenter = d.presenter ? d.presenter : &DialogPresenter::main();
    impl_->clock = d.clock ? d.clock : &Clock::system();
    impl_->markers =
        d.markers ? d.markers : std::make_shared<QSettings>(QStringLiteral("zym"), QStringLiteral("products.update"));
    impl_->openURL = d.openURL ? d.openURL : [](const QUrl& url) { return QDesktopServices::openUrl(url); };
    impl_->currentProduct = d.currentProduct;
    impl_->installedProduct = d.installedProduct;
    if (!impl_->installedProduct) {
        impl_->installedProduct = [this](const QString& identifier) -> std::optional<ProductInfo> {
            for (const ZYMApplicationBundle& app : ZYMWorkspace::installedApplications()) {
                if (app.identifier != identifier) continue;
                if (app.version.isEmpty() || app.identifier.isEmpty()) return std::nullopt;
                ProductInfo installed;
                installed.type = app.buildType.isEmpty() ? QStringLiteral("gm") : app.buildType;
                installed.identifier = app.identifier;
                installed.spin = app.version;
                return installed;
            }
            // This program counts as installed also when it runs from a build folder.
            const ProductInfo own = currentProductInfo();
            if (!own.isEmpty() && identifier == own.identifier) return own;
            return std::nullopt;
        };
    }
    impl_->reportEvent =
        d.reportEvent ? d.reportEvent : [](int number) { ZYMLiaison::sharedLiaison().reportEvent(number); };
    impl_->timeout = d.timeout;
}

SoftwareUpdateController::SoftwareUpdateController() : SoftwareUpdateController(Dependencies{}) {}

SoftwareUpdateController::~SoftwareUpdateController() = default;

SoftwareUpdateController& SoftwareUpdateController::sharedController() {
    static SoftwareUpdateController controller;
    return controller;
}

QUrl SoftwareUpdateController::packageURL() const {
    const QString text = impl_->defaults->string(QStringLiteral("update_package_url"));
    if (text.isEmpty()) return {};
    const QUrl url(text);
    return url.isValid() ? url : QUrl();
}

bool SoftwareUpdateController::isDownloading() const { return impl_->transfer != nullptr; }

int SoftwareUpdateController::alertsWaiting() const {
    return int(impl_->picks.size() - impl_->nextPick) + (impl_->alertShowing ? 1 : 0);
}

void SoftwareUpdateController::checkForUpdates() {
    // The update pane's "all products" sets only update_notice_all (registered YES), so
    // either setting turns the checks on.
    const bool current = impl_->defaults->boolean(QStringLiteral("update_notice_current"));
    const bool all = impl_->defaults->boolean(QStringLiteral("update_notice_all"));
    if (!current && !all) return;
    checkForUpdates(all ? 2 : 1);
}

void SoftwareUpdateController::checkForUpdates(int mode) {
    // Alerts still waiting for the listener: this check's would only repeat them.
    if (impl_->alertShowing || impl_->nextPick < impl_->picks.size()) return;
    impl_->stop();
    impl_->mode = mode;
    impl_->redirects = 0;
    const QUrl url = packageURL();
    if (url.isEmpty()) return;
    if (url.isLocalFile()) {
        processPackage(*ZYMSimpleXMLDocument::fromFile(url.toString()));
        return;
    }
    impl_->start(url);
}

ProductInfo SoftwareUpdateController::currentProductInfo() const {
    if (impl_->currentProduct) return *impl_->currentProduct;
    ProductInfo own;
    own.type = QStringLiteral(ZYM_BUILD_TYPE);
    if (own.type.isEmpty()) own.type = QStringLiteral("gm");
    own.identifier = QLatin1String(kOwnIdentifier);
    own.spin = QStringLiteral(ZYM_BUILD_NUMBER);
    if (own.spin.isEmpty()) return {};
    return own;
}

ProductInfo SoftwareUpdateController::productInfoFromProductElement(const ZYMSimpleXMLElement& product) {
    ProductInfo info;
    const auto& a = product.attributes();
    info.type = a.value(QStringLiteral("type"));
    if (info.type.isEmpty()) info.type = QStringLiteral("gm");
    info.identifier = a.value(QStringLiteral("identifier"), QStringLiteral(""));
    info.spin = a.value(QStringLiteral("spin"), QStringLiteral(""));
    info.nagEnd = a.value(QStringLiteral("nag_end"), QStringLiteral(""));
    info.typeRestriction = a.value(QStringLiteral("type_restriction"), QStringLiteral(""));
    info.identifierRestriction = a.value(QStringLiteral("identifier_restriction"), QStringLiteral(""));
    info.spinRestriction = a.value(QStringLiteral("spin_restriction"), QStringLiteral(""));
    info.windowTitle = childText(product, QStringLiteral("windowtitle"));
    info.title = childText(product, QStringLiteral("title"));
    info.description = childText(product, QStringLiteral("description"));
    info.downloadUrl = QStringLiteral("");
    info.infoUrl = QStringLiteral("");
    for (const auto& child : product.children()) {
        if (child->tag().compare(u"url", Qt::CaseInsensitive) != 0) continue;
        if (!child->attributes().contains(QStringLiteral("type"))) continue;
        const QString type = child->attributes().value(QStringLiteral("type"));
        const QString text = child->text().isNull() ? QStringLiteral("") : child->text();
        if (type.compare(u"download", Qt::CaseInsensitive) == 0)
            info.downloadUrl = text;
        else if (type.compare(u"info", Qt::CaseInsensitive) == 0)
            info.infoUrl = text;
    }
    return info;
}

bool SoftwareUpdateController::meetsRestriction(const ProductInfo* reference, const QString& restriction,
                                                const QString& value) {
    if (!reference) return false;
    if (restriction.isEmpty() || restriction == u"none") return true;
    return restriction.split(u',').contains(value);
}

bool SoftwareUpdateController::updatePrefsContainProduct(const ProductInfo& product) const {
    const QString key = impl_->findMarker(product);
    if (key.isEmpty()) return false;
    if (product.spin.isEmpty()) return true;
    const QString markerSpin = key.mid(product.markerPrefix().size());
    if (markerSpin.isEmpty()) return true;
    // A newer spin than the one last shown counts as not yet offered.
    return leadingInteger(markerSpin) >= leadingInteger(product.spin);
}

std::optional<QDateTime> SoftwareUpdateController::parseNagEnd(const QString& text) {
    static const QRegularExpression form(
        QStringLiteral("\\A(\\d{4})-(\\d{2})-(\\d{2})T(\\d{2}):(\\d{2}):(\\d{2})Z (\\S+)\\z"));
    const auto m = form.match(text);
    if (!m.hasMatch()) return std::nullopt;
    const QDate date(m.captured(1).toInt(), m.captured(2).toInt(), m.captured(3).toInt());
    const QTime time(m.captured(4).toInt(), m.captured(5).toInt(), m.captured(6).toInt());
    if (!date.isValid() || !time.isValid()) return std::nullopt;
    const QString zoneName = m.captured(7);
    QTimeZone zone;
    if (zoneName == u"GMT" || zoneName == u"UTC" || zoneName == u"Z")
        zone = QTimeZone::utc();
    else
        zone = QTimeZone(zoneName.toUtf8());
    if (!zone.isValid()) return std::nullopt;
    const QDateTime when(date, time, zone);
    if (!when.isValid()) return std::nullopt;
    return when;
}

bool SoftwareUpdateController::nagThisProduct(const ProductInfo& product) const {
    const ProductInfo own = currentProductInfo();
    if (product.identifier.isEmpty() || product.identifier != own.identifier) return false;
    const QDateTime now = impl_->clock->now();
    if (!product.nagEnd.isEmpty()) {
        if (const auto end = parseNagEnd(product.nagEnd)) {
            LogMessage(kLogDebug, "nagThisProduct - nagEndDate time left = %f\n", double(now.msecsTo(*end)) / 1000.0);
            if (now > *end) return false;
        }
    }
    const QString key = impl_->findMarker(product);
    if (key.isEmpty()) return true;
    const QDateTime shown = QDateTime::fromString(impl_->markers->value(key).toString(), Qt::ISODateWithMs);
    if (!shown.isValid()) return true;
    const double age = double(shown.msecsTo(now)) / 1000.0;
    LogMessage(kLogDebug, "nagThisProduct - marker age = %f\n", age);
    return age >= double(kNagInterval);
}

void SoftwareUpdateController::addProductToUpdatePrefs(const ProductInfo& product) {
    const QString old = impl_->findMarker(product);
    if (!old.isEmpty()) impl_->markers->remove(old);
    impl_->markers->setValue(product.markerKey(), impl_->clock->now().toUTC().toString(Qt::ISODateWithMs));
    impl_->markers->sync();
}

std::optional<std::vector<ProductInfo>> SoftwareUpdateController::candidates(const ZYMSimpleXMLDocument& document,
                                                                             bool thisProgramOnly) const {
    const ZYMSimpleXMLElement* feed = document.childWithTag(QStringLiteral("softwareupdate"));
    if (!feed) return std::nullopt;
    const ProductInfo own = currentProductInfo();
    LogMessage(kLogError, "processPackage - current product %s\n", own.describe().toUtf8().constData());
    std::vector<ProductInfo> result;
    for (const auto& child : feed->children()) {
        if (child->tag().compare(u"product", Qt::CaseInsensitive) != 0) continue;
        const ProductInfo product = productInfoFromProductElement(*child);
        LogMessage(kLogError, "processPackage - checking product %s\n", product.describe().toUtf8().constData());
        std::optional<ProductInfo> reference;
        if (thisProgramOnly) {
            if (own.isEmpty() || product.identifier != own.identifier) {
                LogMessage(kLogError, "processPackage - product identifier does not match current product\n");
                continue;
            }
            reference = own;
        } else {
            reference = impl_->installedProduct(product.identifier);
            if (!reference) {
                LogMessage(kLogError, "processPackage - product identifier is not installed\n");
                continue;
            }
        }
        const ProductInfo* ownRef = own.isEmpty() ? nullptr : &own;
        if (!meetsRestriction(ownRef, product.typeRestriction, own.type) ||
            !meetsRestriction(ownRef, product.identifierRestriction, own.identifier) ||
            !meetsRestriction(ownRef, product.spinRestriction, own.spin)) {
            LogMessage(kLogError, "processPackage - restriction check failed\n");
            continue;
        }
        if (leadingInteger(product.spin) <= leadingInteger(reference->spin)) {
            LogMessage(kLogError, "processPackage - spin check failed\n");
            continue;
        }
        if (updatePrefsContainProduct(product) && !nagThisProduct(product)) {
            LogMessage(kLogError, "processPackage - previous notice/nag check failed\n");
            continue;
        }
        result.push_back(product);
    }
    return result;
}

std::vector<ProductInfo> SoftwareUpdateController::bestNotices(const std::vector<ProductInfo>& candidates) {
    std::vector<ProductInfo> picks;
    QStringList handled;
    for (const ProductInfo& candidate : candidates) {
        if (handled.contains(candidate.identifier)) continue;
        handled << candidate.identifier;
        const ProductInfo* best = &candidate;
        for (const ProductInfo& other : candidates) {
            if (other.identifier != candidate.identifier || other.spin.isEmpty()) continue;
            if (leadingInteger(other.spin) > leadingInteger(best->spin)) best = &other;
        }
        picks.push_back(*best);
    }
    return picks;
}

bool SoftwareUpdateController::mayOpen(const QUrl& url) const {
    if (!url.isValid() || url.scheme() != u"https" || url.host().isEmpty()) return false;
    const QString host = url.host();
    if (host.compare(packageURL().host(), Qt::CaseInsensitive) == 0) return true;
    QStringList allowed = impl_->defaults->stringArray(QStringLiteral("update_allowed_hosts"));
    if (allowed.isEmpty()) allowed = impl_->defaults->string(QStringLiteral("update_allowed_hosts")).split(u',');
    for (const QString& entry : allowed) {
        if (!entry.trimmed().isEmpty() && host.compare(entry.trimmed(), Qt::CaseInsensitive) == 0) return true;
    }
    return false;
}

void SoftwareUpdateController::processPackage(const ZYMSimpleXMLDocument& document) {
    const auto found = candidates(document, impl_->mode != 2);
    if (!found || found->empty()) return;
    impl_->picks = bestNotices(*found);
    impl_->nextPick = 0;
    impl_->showNext();
}

SoftwareUpdateTimer::SoftwareUpdateTimer(UserDefaults& defaults, Scheduler& scheduler, std::function<void()> check)
    : defaults_(defaults), scheduler_(scheduler), check_(std::move(check)) {}

SoftwareUpdateTimer::~SoftwareUpdateTimer() = default;

void SoftwareUpdateTimer::start() {
    timer_ = scheduler_.singleShot(kFirstCheck, [this] { fire(); });
}

std::optional<std::chrono::milliseconds> SoftwareUpdateTimer::interval(const UserDefaults& defaults) {
    // Seconds, of which only the integer part counts.
    const double value = std::trunc(defaults.doubleValue(QStringLiteral("update_check_interval")));
    if (value < 0) return std::nullopt;
    // Beyond a year a longer wait changes nothing; a value that is no number counts as 0.
    const long long wait = !(value > 0) ? 86400 : static_cast<long long>(std::min(value, 366.0 * 86400));
    return std::chrono::milliseconds(wait * 1000);
}

void SoftwareUpdateTimer::fire() {
    if (const auto next = interval(defaults_)) {
        timer_ = scheduler_.singleShot(*next, [this] { fire(); });
    } else {
        timer_.reset();
    }
    if (check_) check_();
}
