#pragma once
// The chat clients' status message shows what plays. A client's message is changed only
// while the listener's status there is available, so a typed away message stays; Adium and
// the chat client on the session bus (both over libpurple) are told at most once every 4
// seconds, the newest message of a burst last. Main thread only.

#include <QString>

#include <memory>
#include <optional>

#include "app/foundation/Clock.h"
#include "app/support/ChatBusClient.h"

// Runs the small scripts that talk to a chat client. Linux has no scriptable clients, so
// the system runner finds none running; the bus client stands in for them.
class ScriptRunner {
public:
    virtual ~ScriptRunner() = default;
    virtual bool isAppRunning(const QString& bundleIdentifier) const = 0;
    // The running application's bundle version; none when it is not known.
    virtual std::optional<QString> bundleVersion(const QString& bundleIdentifier) const = 0;
    // The script's result as text; none when it failed or did not answer.
    virtual std::optional<QString> run(const QString& source) = 0;

    static ScriptRunner& system();
};

class ChatStatus {
public:
    static inline const QString kIChat = QStringLiteral("com.apple.iChat");
    static inline const QString kAdium = QStringLiteral("com.adiumX.adiumX");
    static constexpr double kAdiumInterval = 4.0;  // seconds

    // `busClient` (may be null) is told as Adium is.
    ChatStatus(ScriptRunner& runner, const Clock& clock, Scheduler& scheduler, ChatBusClient* busClient = nullptr);
    ~ChatStatus();

    // Hands the message to every running client, unless it is the last one handed.
    void setIMStatusMessage(const QString& message);
    const QString& lastMessage() const { return lastMessage_; }

    // The message as an AppleScript string literal, quotes included: a double quote or a
    // backslash from stream metadata cannot end the string or break the script.
    static QString scriptString(const QString& message);
    // The client's version read as a number the way the bundle reader does: its leading
    // decimal number, 0 without one.
    static double versionNumber(const QString& version);

    static QString iChatSetScript(const QString& message);
    static QString iChatGetScript();
    static QString adiumSetScript(const QString& message);
    static QString adiumGetScript();

private:
    bool adiumUsable() const;
    bool busClientRunning() const;
    void sendStatusChangeScript(const QString& setScript, const QString& getScript, const QString& available);
    void setAdiumStatusMessage(const QString& message);
    void startAdiumThrottleTimer(double delaySeconds);
    void tellAdiumNewStatusMessage();

    ScriptRunner& runner_;
    ChatBusClient* busClient_;
    const Clock& clock_;
    Scheduler& scheduler_;
    QString lastMessage_;
    std::optional<QDateTime> lastToldAdium_;
    std::unique_ptr<ScheduledTimer> adiumThrottleTimer_;
    QString adiumStatusMessage_;
};
