#include "app/support/ZYMLiaison.h"

#include "app/foundation/Localizer.h"
#include "app/foundation/PropertyList.h"
#include "app/foundation/Resources.h"
#include "app/foundation/ServiceLayerError.h"
#include "app/foundation/UserDefaults.h"
#include "app/support/NetworkInfoManager.h"
#include "app/support/ZYMSimpleXMLDocument.h"
#include "app/support/ZYMUtilities.h"
#include "app/support/ZYMHttpRequestor.h"

#include <algorithm>

#include <QAbstractButton>
#include <QAction>
#include <QActionEvent>
#include <QCoreApplication>
#include <QFile>
#include <QRegularExpression>
#include <QSaveFile>
#include <QToolButton>
#include <QUuid>

// ---- visitor identifier -------------------------------------------------------------

namespace ZYMVisitorID {

QString thirtyDigitUUID() {
    const QString digits = QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper().remove(u'-');
    return digits.mid(0, 15) + u'-' + digits.mid(15, 15);
}

QString readStoredVisitorID(const QString& folder) {
    if (folder.isEmpty()) return {};
    QFile file(folder + u'/' + QLatin1String(kFileName));
    if (!file.open(QIODevice::ReadOnly)) return {};
    QString text = QString::fromUtf8(file.read(256));
    while (text.startsWith(u'\n'))
        text.remove(0, 1);
    while (text.endsWith(u'\n'))
        text.chop(1);
    static const QRegularExpression pattern(QStringLiteral("\\A[0-9A-Fa-f]{15}-[0-9A-Fa-f]{15}\\z"));
    return pattern.match(text).hasMatch() ? text : QString();
}

bool storeVisitorID(const QString& folder, const QString& id) {
    if (folder.isEmpty()) return false;
    const QString path = folder + u'/' + QLatin1String(kFileName);
    // A read-only file of an earlier run must be replaceable.
    if (QFile::exists(path)) QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) return false;
    file.setPermissions(QFile::ReadOwner | QFile::WriteOwner);
    file.write(id.toUtf8());
    if (!file.commit()) return false;
    // Read-only, and the user's alone: the identifier follows the listener's use.
    return QFile::setPermissions(path, QFile::ReadOwner);
}

QString visitorID(const FolderProvider& folderProvider) {
    const QString folder = folderProvider ? folderProvider() : EnsureApplicationSupportFolder().value_or(QString());
    QString id = readStoredVisitorID(folder);
    if (!id.isNull()) return id;
    id = thirtyDigitUUID();
    // A failed store still sends the new identifier; the next request makes another.
    storeVisitorID(folder, id);
    return id;
}

}  // namespace ZYMVisitorID

// ---- request body -------------------------------------------------------------------

QByteArray ZYMDataInsertionURLRequest::bodyFor(const Fields& fields) {
    ZYMSimpleXMLDocument document;
    auto request = ZYMSimpleXMLElement::elementWithTag(QStringLiteral("request"), QString());
    auto add = [&](const char* tag, const QString& text) {
        request->appendChild(ZYMSimpleXMLElement::elementWithTag(QLatin1String(tag), text));
    };
    add("sc_xml_ver", QStringLiteral("1.0"));
    add("reportsuiteid", fields.reportSuiteID);
    if (!fields.visitorID.isNull()) add("vistorid", fields.visitorID);
    add("ipaddress", fields.ipAddress);
    add("pageurl", ZYMLiaison::pageURL());
    add("pagename", fields.pageName);
    add("channel", QStringLiteral("us.morvatin"));
    add("currencycode", QStringLiteral("USD"));
    add("prop1", QStringLiteral("Navbar"));
    document.appendChild(std::move(request));
    return QByteArrayLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>") + document.xmlData();
}

// ---- HTTP sender ----------------------------------------------------------------------

namespace {

// One POST; a redirect is not followed.
class PostExchange : public ZYMHttpRequestorDelegate {
public:
    PostExchange(const ZYMDataInsertionURLRequest& request, std::function<void()> done,
                 std::chrono::milliseconds timeout)
        : done_(std::move(done)) {
        requestor_.setURL(request.url, QStringLiteral("POST"));
        requestor_.setBody(request.body);
        requestor_.setAutoRedirect(false);
        requestor_.setDelegate(this);
        timer_ = Scheduler::main().singleShot(timeout, [this] {
            requestor_.closeStream();
            finish();
        });
    }
    void start() { requestor_.execute(); }
    void requestFinished(ZYMHttpRequestor*) override { finish(); }
    void requestFailed(ZYMHttpRequestor*, const ZYMHttpRequestorError&) override { finish(); }

private:
    void finish() {
        // The exchange deletes itself here; nothing of it is touched afterwards.
        timer_.reset();
        auto done = std::move(done_);
        auto self = std::move(self_);
        if (done) done();
    }

public:
    std::unique_ptr<PostExchange> self_;

private:
    std::function<void()> done_;
    ZYMHttpRequestor requestor_;
    std::unique_ptr<ScheduledTimer> timer_;
};

}  // namespace

ZYMDataInsertionSender ZYMHttpDataInsertionSender(std::chrono::milliseconds timeout) {
    return [timeout](const ZYMDataInsertionURLRequest& request, std::function<void()> done) {
        auto exchange = std::make_unique<PostExchange>(request, std::move(done), timeout);
        PostExchange* raw = exchange.get();
        raw->self_ = std::move(exchange);
        raw->start();
    };
}

// ---- queue ------------------------------------------------------------------------------

ZYMDataInsertionQueue::ZYMDataInsertionQueue(ZYMDataInsertionSender sender, Clock& clock, Scheduler& scheduler)
    : sender_(std::move(sender)), clock_(clock), scheduler_(scheduler) {}

ZYMDataInsertionQueue::~ZYMDataInsertionQueue() { *alive_ = false; }

std::chrono::milliseconds ZYMDataInsertionQueue::delay() const {
    if (!lastSent_) return std::chrono::milliseconds(0);
    const qint64 since = lastSent_->msecsTo(clock_.now());
    // A wall clock set back must not hold the queue for longer than one spacing.
    return std::chrono::milliseconds(std::clamp<qint64>(kSpacing.count() - since, 0, kSpacing.count()));
}

void ZYMDataInsertionQueue::enqueueRequest(ZYMDataInsertionURLRequest request) {
    pending_.push_back(std::move(request));
    if (pending_.size() == 1 && !inFlight_) schedule();
}

void ZYMDataInsertionQueue::schedule() {
    timer_ = scheduler_.singleShot(delay(), [this] { sendNextRequest(); });
}

void ZYMDataInsertionQueue::sendNextRequest() {
    if (pending_.empty() || inFlight_) return;
    ZYMDataInsertionURLRequest request = std::move(pending_.front());
    pending_.pop_front();
    inFlight_ = true;
    lastSent_ = clock_.now();
    std::weak_ptr<bool> alive = alive_;
    sender_(request, [this, alive] {
        if (alive.expired() || !*alive.lock()) return;
        inFlight_ = false;
        // The spacing counts from the end of the exchange, so the endpoint sees the
        // requests in order and a full second apart.
        lastSent_ = clock_.now();
        if (!pending_.empty()) schedule();
    });
}

// ---- liaison ----------------------------------------------------------------------------

namespace {

QString withoutMnemonics(QString text) {
    text.replace(QStringLiteral("&&"), QStringLiteral("\x01"));
    text.remove(u'&');
    text.replace(u'\x01', u'&');
    return text;
}

}  // namespace

ZYMLiaison::ZYMLiaison(Dependencies d)
    : defaults_(d.defaults ? d.defaults : &UserDefaults::standardUserDefaults()),
      localizer_(d.localizer ? d.localizer : &Localizer::shared()),
      clock_(d.clock ? d.clock : &Clock::system()),
      scheduler_(d.scheduler ? d.scheduler : &Scheduler::main()),
      events_(d.events ? *d.events : loadEventsTable()),
      supportFolder_(std::move(d.supportFolder)),
      localIPAddress_(d.localIPAddress ? std::move(d.localIPAddress) : std::function<QString()>([] {
          return NetworkInfoManager::defaultManager().localIPAddress().value_or(QStringLiteral(""));
      })),
      queue_(std::make_unique<ZYMDataInsertionQueue>(d.sender ? std::move(d.sender) : ZYMHttpDataInsertionSender(),
                                                     *clock_, *scheduler_)) {}

ZYMLiaison::ZYMLiaison() : ZYMLiaison(Dependencies{}) {}

ZYMLiaison::~ZYMLiaison() = default;

ZYMLiaison& ZYMLiaison::sharedLiaison() {
    static ZYMLiaison liaison;
    return liaison;
}

std::optional<ZYMLiaison::Events> ZYMLiaison::loadEventsTable() {
    const QString path = Resources::find(QStringLiteral("ZYMLiaisonEvents"), QStringLiteral("plist"));
    if (path.isEmpty()) return std::nullopt;
    const auto value = PropertyList::readFile(path);
    if (!value || value->typeId() != QMetaType::QVariantMap) return std::nullopt;
    Events events;
    const QVariantMap map = value->toMap();
    for (auto it = map.begin(); it != map.end(); ++it)
        events.insert(it.key(), it.value().toString());
    return events;
}

QString ZYMLiaison::pageURL() { return QStringLiteral("http://radio.zym.invalid/"); }

QString ZYMLiaison::setting(const QString& key) const {
    const QString own = defaults_->string(key);
    if (!own.isEmpty()) return own;
    // The localizer answers a missing key with the key itself.
    const QString text = localizer_->text(key);
    return text == key ? QString() : text;
}

QUrl ZYMLiaison::endpointURL() const {
    const QUrl url(setting(QStringLiteral("ZYMLiaisonURL")), QUrl::StrictMode);
    if (!url.isValid() || url.host().isEmpty() ||
        (url.scheme() != QLatin1String("http") && url.scheme() != QLatin1String("https")))
        return {};
    return url;
}

QString ZYMLiaison::reportSuiteID() const { return setting(QStringLiteral("ZYMLiaisonSuite")); }

void ZYMLiaison::reportEvent(QObject* sender) {
    if (!sender) return;
    std::optional<long long> tag;
    const QVariant tagValue = sender->property(kTagProperty);
    bool ok = false;
    const long long number = tagValue.toLongLong(&ok);
    if (tagValue.isValid() && ok) tag = number;
    QString title = sender->property("text").toString();
    if (qobject_cast<QAction*>(sender) || qobject_cast<QAbstractButton*>(sender)) title = withoutMnemonics(title);
    reportEvent(tag, title);
}

void ZYMLiaison::reportEvent(int number) { reportEvent(std::optional<long long>(number), QString()); }

void ZYMLiaison::reportEvent(std::optional<long long> tag, const QString& title) {
    if (!events_) return;
    QString description;
    if (tag) description = events_->value(QString::number(*tag));
    if (description.isNull() && !title.isEmpty()) description = events_->value(title);
    if (description.isNull()) return;
    queueLater(description);
}

void ZYMLiaison::queueLater(const QString& description) {
    const QString suite = reportSuiteID();
    // Fired timers are dropped on the next report; each holds only its own entry.
    delayed_.remove_if([](const std::unique_ptr<ScheduledTimer>& t) { return !t || !t->isActive(); });
    delayed_.push_back(scheduler_->singleShot(
        kQueueDelay, [this, suite, description] { queueEventRequestWithInfo(suite, description); }));
}

void ZYMLiaison::queueEventRequestWithInfo(const QString& suiteID, const QString& description) {
    const QUrl url = endpointURL();
    if (url.isEmpty()) return;
    ZYMDataInsertionURLRequest request;
    request.url = url;
    request.reportSuiteID = suiteID;
    request.description = description;
    request.body = ZYMDataInsertionURLRequest::bodyFor(
        {suiteID, ZYMVisitorID::visitorID(supportFolder_), localIPAddress_(), description});
    queue_->enqueueRequest(std::move(request));
}

// ---- action reporter --------------------------------------------------------------------

ActionReporter::ActionReporter(ZYMLiaison& liaison, QObject* parent) : QObject(parent), liaison_(liaison) {
    if (QCoreApplication::instance()) QCoreApplication::instance()->installEventFilter(this);
}

ActionReporter::~ActionReporter() {
    if (QCoreApplication::instance()) QCoreApplication::instance()->removeEventFilter(this);
}

void ActionReporter::watch(QObject* root) {
    if (!root) return;
    hook(root);
    for (QObject* child : root->findChildren<QObject*>())
        hook(child);
    if (auto* widget = qobject_cast<QWidget*>(root)) {
        for (QAction* action : widget->actions())
            hook(action);
    }
}

void ActionReporter::report(QObject* sender) {
    Guarded("interface analytics", [&] { liaison_.reportEvent(sender); });
}

bool ActionReporter::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Polish) {
        hook(watched);
    } else if (event->type() == QEvent::ActionAdded) {
        hook(static_cast<QActionEvent*>(event)->action());
    }
    return false;
}

void ActionReporter::hook(QObject* object) {
    if (!object || hooked_.contains(object)) return;
    if (auto* action = qobject_cast<QAction*>(object)) {
        connect(action, &QAction::triggered, this, [this, action] { report(action); });
    } else if (auto* button = qobject_cast<QAbstractButton*>(object)) {
        // A tool button showing an action reports through the action.
        auto* tool = qobject_cast<QToolButton*>(button);
        if (tool && tool->defaultAction()) return;
        connect(button, &QAbstractButton::clicked, this, [this, button] { report(button); });
    } else {
        return;
    }
    hooked_.insert(object);
    connect(object, &QObject::destroyed, this, [this, object] { hooked_.remove(object); });
}
