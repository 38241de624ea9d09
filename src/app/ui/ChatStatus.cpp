#include "app/ui/ChatStatus.h"

#include <QLocale>
#include <QRegularExpression>

#include <cmath>

namespace {

class NoChatClients : public ScriptRunner {
public:
    bool isAppRunning(const QString&) const override { return false; }
    std::optional<QString> bundleVersion(const QString&) const override { return std::nullopt; }
    std::optional<QString> run(const QString&) override { return std::nullopt; }
};

QString Script(const char* application, const QString& command) {
    return QStringLiteral("tell application \"%1\"\nwith timeout of 3 seconds\n%2\nend timeout\nend tell")
        .arg(QLatin1String(application), command);
}

}  // namespace

ScriptRunner& ScriptRunner::system() {
    static NoChatClients none;
    return none;
}

ChatStatus::ChatStatus(ScriptRunner& runner, const Clock& clock, Scheduler& scheduler, ChatBusClient* busClient)
    : runner_(runner), busClient_(busClient), clock_(clock), scheduler_(scheduler) {}

ChatStatus::~ChatStatus() = default;

QString ChatStatus::scriptString(const QString& message) {
    QString quoted;
    quoted.reserve(message.size() + 2);
    quoted += QLatin1Char('"');
    for (const QChar c : message) {
        if (c == QLatin1Char('"') || c == QLatin1Char('\\')) quoted += QLatin1Char('\\');
        quoted += c;
    }
    quoted += QLatin1Char('"');
    return quoted;
}

double ChatStatus::versionNumber(const QString& version) {
    static const QRegularExpression leading(QStringLiteral("^\\s*[+-]?(\\d+(\\.\\d*)?|\\.\\d+)"));
    const auto match = leading.match(version);
    return match.hasMatch() ? QLocale::c().toDouble(match.captured(0).trimmed()) : 0.0;
}

QString ChatStatus::iChatSetScript(const QString& message) {
    return Script("iChat", QStringLiteral("set status message to ") + scriptString(message));
}
QString ChatStatus::iChatGetScript() { return Script("iChat", QStringLiteral("get status")); }
QString ChatStatus::adiumSetScript(const QString& message) {
    return Script("Adium", QStringLiteral("set my status message to ") + scriptString(message));
}
QString ChatStatus::adiumGetScript() { return Script("Adium", QStringLiteral("get my status type")); }

bool ChatStatus::adiumUsable() const {
    if (!runner_.isAppRunning(kAdium)) return false;
    return versionNumber(runner_.bundleVersion(kAdium).value_or(QString())) > 0.83;
}

void ChatStatus::setIMStatusMessage(const QString& message) {
    if (message == lastMessage_) return;
    lastMessage_ = message;
    if (runner_.isAppRunning(kIChat))
        sendStatusChangeScript(iChatSetScript(message), iChatGetScript(), QStringLiteral("aval"));
    if (adiumUsable() || busClientRunning()) setAdiumStatusMessage(message);
}

bool ChatStatus::busClientRunning() const { return busClient_ && busClient_->isRunning(); }

void ChatStatus::sendStatusChangeScript(const QString& setScript, const QString& getScript, const QString& available) {
    // Errors are not reported: a client that does not answer keeps its status.
    const auto status = runner_.run(getScript);
    if (status && status->compare(available, Qt::CaseInsensitive) == 0) runner_.run(setScript);
}

void ChatStatus::setAdiumStatusMessage(const QString& message) {
    adiumStatusMessage_ = message;
    const double elapsed =
        lastToldAdium_ ? double(lastToldAdium_->msecsTo(clock_.now())) / 1000.0 : kAdiumInterval + 1.0;
    if (elapsed > kAdiumInterval) {
        adiumThrottleTimer_.reset();
        tellAdiumNewStatusMessage();
        return;
    }
    // A pending delivery sends the newest message when it fires.
    if (adiumThrottleTimer_ && adiumThrottleTimer_->isActive()) return;
    startAdiumThrottleTimer(kAdiumInterval - elapsed);
}

void ChatStatus::startAdiumThrottleTimer(double delaySeconds) {
    adiumThrottleTimer_ = scheduler_.singleShot(std::chrono::milliseconds(qint64(std::ceil(delaySeconds * 1000.0))),
                                                [this] { tellAdiumNewStatusMessage(); });
}

void ChatStatus::tellAdiumNewStatusMessage() {
    lastToldAdium_ = clock_.now();
    if (adiumUsable())
        sendStatusChangeScript(adiumSetScript(adiumStatusMessage_), adiumGetScript(), QStringLiteral("avaL"));
    if (busClientRunning() && busClient_->isAvailable().value_or(false))
        busClient_->setStatusMessage(adiumStatusMessage_);
}
