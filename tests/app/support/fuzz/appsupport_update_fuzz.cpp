// The update feed as the server sends it: its candidates in both modes, the notices chosen
// from them, and every alert answered with each button. Whatever the feed says, only https
// URLs on the feed's host or an allowed host are opened, every notice is a candidate that
// is newer than what is installed, and one notice per product. The settings and markers
// live in a temporary folder and are emptied before each input.

#include "app/foundation/Clock.h"
#include "app/signon/DialogPresenter.h"
#include "app/foundation/UserDefaults.h"
#include "app/support/SoftwareUpdateController.h"
#include "app/support/ZYMSimpleXMLDocument.h"

#include "app/foundation/NSLog.h"

#include <QByteArray>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimeZone>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>

namespace {

struct World {
    QTemporaryDir dir;
    UserDefaults defaults{dir.filePath("defaults.conf")};
    std::shared_ptr<QSettings> markers =
        std::make_shared<QSettings>(dir.filePath("products.update.ini"), QSettings::IniFormat);
    FakeClock clock{QDateTime(QDate(2026, 12, 1), QTime(12, 0), QTimeZone::utc())};
    RecordingDialogPresenter presenter;
    QList<QUrl> opened;
    std::unique_ptr<SoftwareUpdateController> controller;

    World() {
        defaults.setString("update_package_url", "https://updates.example/feed.xml");
        defaults.setString("update_allowed_hosts", "downloads.example, www.example");
        SoftwareUpdateController::Dependencies d;
        d.defaults = &defaults;
        d.presenter = &presenter;
        d.clock = &clock;
        d.markers = markers;
        d.openURL = [this](const QUrl& u) {
            opened << u;
            return true;
        };
        d.installedProduct = [](const QString& id) -> std::optional<ProductInfo> {
            if (id == "org.zym.Radio") return ProductInfo{"gm", id, "9"};
            if (id == "com.zym.Pictures") return ProductInfo{"beta", id, "3"};
            return std::nullopt;
        };
        d.reportEvent = [](int) {};
        d.currentProduct = ProductInfo{"gm", "org.zym.Radio", "9"};
        controller = std::make_unique<SoftwareUpdateController>(std::move(d));
    }
};

void checkNotices(const std::vector<ProductInfo>& found, const std::vector<ProductInfo>& picks) {
    QStringList identifiers;
    for (const ProductInfo& pick : picks) {
        if (identifiers.contains(pick.identifier)) abort();
        identifiers << pick.identifier;
        bool isCandidate = false;
        for (const ProductInfo& c : found)
            isCandidate = isCandidate || (c.identifier == pick.identifier && c.spin == pick.spin);
        if (!isCandidate) abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // The log lines of refused input would only slow the run down.
    static const bool quiet = (SetNSLogSink([](const QString&) {}), true);
    (void)quiet;
    static World world;
    world.markers->clear();
    world.presenter.shown.clear();
    world.opened.clear();
    const ZYMSimpleXMLDocument document(QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)));
    for (const bool thisProgramOnly : {true, false}) {
        const auto found = world.controller->candidates(document, thisProgramOnly);
        if (!found) continue;
        for (const ProductInfo& c : *found) {
            if (thisProgramOnly && c.identifier != "org.zym.Radio") abort();
            (void)SoftwareUpdateController::parseNagEnd(c.nagEnd);
        }
        checkNotices(*found, SoftwareUpdateController::bestNotices(*found));
    }

    // The package steps: every alert answered, with the first, second, third button in turn.
    world.controller->processPackage(document);
    for (int button = 0; world.presenter.waiting() > 0 && button < 1000; ++button)
        world.presenter.answer(button % 4 - 1);
    if (world.presenter.waiting() > 0) abort();
    for (const QUrl& url : world.opened) {
        const QString host = url.host().toLower();
        if (url.scheme() != "https" ||
            (host != "updates.example" && host != "downloads.example" && host != "www.example"))
            abort();
    }
    return 0;
}
