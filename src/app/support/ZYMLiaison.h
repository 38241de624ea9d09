#pragma once

// Interface analytics. Every user action is offered to the reporter; an action whose tag
// or title is listed in the events table becomes a data-insertion request, and one queue
// sends these requests to the collection endpoint one at a time, at most one a second,
// in order. Responses are ignored. Nothing is sent until an endpoint URL is configured
// ("ZYMLiaisonURL" in the user defaults or the strings table).
//
// Main thread only: reports, the delayed queuing, the paced sends and the HTTP exchanges
// all run on the event loop of the thread that made the objects.

#include "app/foundation/Clock.h"

#include <QByteArray>
#include <QHash>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QString>
#include <QUrl>

#include <chrono>
#include <deque>
#include <functional>
#include <list>
#include <memory>
#include <optional>

class UserDefaults;
class Localizer;

// The visitor identifier: 15 hexadecimal digits, "-", 15 hexadecimal digits, kept in
// ".s_vi_gijupe" in the application-support folder (read-only between writes).
namespace ZYMVisitorID {
inline constexpr const char* kFileName = ".s_vi_gijupe";
// The folder's path, or empty when it cannot be made.
using FolderProvider = std::function<QString()>;
// A new identifier from a fresh UUID (its last two digits dropped).
QString thirtyDigitUUID();
// The stored identifier when it is valid; null otherwise.
QString readStoredVisitorID(const QString& folder);
// Writes the identifier atomically and leaves the file read-only; false on failure.
bool storeVisitorID(const QString& folder, const QString& id);
// The stored identifier, else a new one (stored when possible).
QString visitorID(const FolderProvider& folder);
}  // namespace ZYMVisitorID

// One request's body and where it goes.
struct ZYMDataInsertionURLRequest {
    QUrl url;
    QString reportSuiteID;
    QString description;
    QByteArray body;  // XML declaration, then the request element

    struct Fields {
        QString reportSuiteID;
        QString visitorID;  // null: the element is left out
        QString ipAddress;
        QString pageName;
    };
    // The body as sent.
    static QByteArray bodyFor(const Fields& fields);
};

// Sends one request and calls `done` once the exchange has ended (any outcome).
using ZYMDataInsertionSender =
    std::function<void(const ZYMDataInsertionURLRequest& request, std::function<void()> done)>;

// POSTs over the HTTP client; an exchange is given up after `timeout`.
ZYMDataInsertionSender ZYMHttpDataInsertionSender(std::chrono::milliseconds timeout = std::chrono::seconds(30));

class ZYMDataInsertionQueue {
public:
    static constexpr std::chrono::milliseconds kSpacing{1000};

    ZYMDataInsertionQueue(ZYMDataInsertionSender sender, Clock& clock, Scheduler& scheduler);
    ~ZYMDataInsertionQueue();
    ZYMDataInsertionQueue(const ZYMDataInsertionQueue&) = delete;
    ZYMDataInsertionQueue& operator=(const ZYMDataInsertionQueue&) = delete;

    // Appends; the request leaves at once after a quiet second, else a second after the
    // previous exchange ended. One exchange at a time, so requests arrive in order.
    void enqueueRequest(ZYMDataInsertionURLRequest request);
    // Time still to wait before the next send may start (0 when none).
    std::chrono::milliseconds delay() const;
    int pendingCount() const { return int(pending_.size()); }

private:
    void schedule();
    void sendNextRequest();

    ZYMDataInsertionSender sender_;
    Clock& clock_;
    Scheduler& scheduler_;
    std::deque<ZYMDataInsertionURLRequest> pending_;
    std::optional<QDateTime> lastSent_;
    std::unique_ptr<ScheduledTimer> timer_;
    bool inFlight_ = false;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

class ZYMLiaison {
public:
    // Delay between an action and the queuing of its request.
    static constexpr std::chrono::milliseconds kQueueDelay{100};
    // Dynamic property holding a control's tag number.
    static constexpr const char* kTagProperty = "tag";

    using Events = QHash<QString, QString>;  // tag digits or title -> page name

    struct Dependencies {
        UserDefaults* defaults = nullptr;  // null: the standard user defaults
        Localizer* localizer = nullptr;    // null: the shared localizer
        Clock* clock = nullptr;            // null: the system clock
        Scheduler* scheduler = nullptr;    // null: the main scheduler
        // The events table; unset: read from the resource "ZYMLiaisonEvents.plist".
        std::optional<std::optional<Events>> events;
        ZYMDataInsertionSender sender;               // unset: the HTTP sender
        ZYMVisitorID::FolderProvider supportFolder;  // unset: the default folder
        std::function<QString()> localIPAddress;     // unset: the first up IPv4 address
    };

    ZYMLiaison();
    explicit ZYMLiaison(Dependencies dependencies);
    ~ZYMLiaison();
    ZYMLiaison(const ZYMLiaison&) = delete;
    ZYMLiaison& operator=(const ZYMLiaison&) = delete;

    static ZYMLiaison& sharedLiaison();

    // A control or action: its tag (dynamic property "tag"), else its title.
    void reportEvent(QObject* sender);
    // An event number (as the update alert reports its choices).
    void reportEvent(int number);
    // Resolution from what the sender shows: a tag entry first, then a non-empty title.
    void reportEvent(std::optional<long long> tag, const QString& title);

    // Queues a request for this page name now.
    void queueEventRequestWithInfo(const QString& suiteID, const QString& description);

    // The endpoint and suite: user default first, then the strings table. An invalid or
    // missing URL means nothing is sent.
    QUrl endpointURL() const;
    QString reportSuiteID() const;

    const std::optional<Events>& events() const { return events_; }
    ZYMDataInsertionQueue& queue() { return *queue_; }

    // The page URL sent with every request.
    static QString pageURL();
    static std::optional<Events> loadEventsTable();

private:
    QString setting(const QString& key) const;
    void queueLater(const QString& description);

    UserDefaults* defaults_;
    Localizer* localizer_;
    Clock* clock_;
    Scheduler* scheduler_;
    std::optional<Events> events_;
    ZYMVisitorID::FolderProvider supportFolder_;
    std::function<QString()> localIPAddress_;
    std::unique_ptr<ZYMDataInsertionQueue> queue_;
    std::list<std::unique_ptr<ScheduledTimer>> delayed_;
};

// Sees every QAction::triggered and QAbstractButton::clicked of the application (also of
// widgets and actions made later) and reports the sender to the liaison. Install once, in
// the composition root; lists and other controls that send through ApplicationActions
// hand their sender to report().
class ActionReporter : public QObject {
public:
    explicit ActionReporter(ZYMLiaison& liaison, QObject* parent = nullptr);
    ~ActionReporter() override;

    // Hooks the buttons and actions already under `root`.
    void watch(QObject* root);
    void report(QObject* sender);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void hook(QObject* object);
    ZYMLiaison& liaison_;
    QSet<QObject*> hooked_;
};
