#include "app/support/ChatBusClient.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusReply>

namespace {

QDBusMessage Call(const QString& method, const QVariantList& arguments = {}) {
    QDBusMessage call = QDBusMessage::createMethodCall(PurpleChatClient::kService, PurpleChatClient::kPath,
                                                       PurpleChatClient::kInterface, method);
    call.setArguments(arguments);
    return call;
}

}  // namespace

PurpleChatClient::PurpleChatClient(const QDBusConnection& bus) : bus_(bus) {}

PurpleChatClient& PurpleChatClient::session() {
    static auto* client = new PurpleChatClient(QDBusConnection::sessionBus());
    return *client;
}

bool PurpleChatClient::isRunning() const {
    if (!bus_.isConnected() || !bus_.interface()) return false;
    const QDBusReply<bool> registered = bus_.interface()->isServiceRegistered(kService);
    return registered.isValid() && registered.value();
}

std::optional<int> PurpleChatClient::currentSavedStatus() {
    const QDBusReply<int> status =
        bus_.call(Call(QStringLiteral("PurpleSavedstatusGetCurrent")), QDBus::Block, kTimeoutMs);
    if (!status.isValid()) return std::nullopt;
    return status.value();
}

std::optional<bool> PurpleChatClient::isAvailable() {
    if (!bus_.isConnected()) return std::nullopt;
    const auto status = currentSavedStatus();
    if (!status) return std::nullopt;
    const QDBusReply<int> type =
        bus_.call(Call(QStringLiteral("PurpleSavedstatusGetType"), {*status}), QDBus::Block, kTimeoutMs);
    if (!type.isValid()) return std::nullopt;
    return type.value() == kStatusAvailable;
}

bool PurpleChatClient::setStatusMessage(const QString& message) {
    if (!bus_.isConnected()) return false;
    const auto status = currentSavedStatus();
    if (!status) return false;
    const QDBusMessage set =
        bus_.call(Call(QStringLiteral("PurpleSavedstatusSetMessage"), {*status, statusMarkup(message)}), QDBus::Block,
                  kTimeoutMs);
    if (set.type() != QDBusMessage::ReplyMessage) return false;
    // The accounts show a changed saved status once it is activated again.
    const QDBusMessage activate =
        bus_.call(Call(QStringLiteral("PurpleSavedstatusActivate"), {*status}), QDBus::Block, kTimeoutMs);
    return activate.type() == QDBusMessage::ReplyMessage;
}

QString PurpleChatClient::statusMarkup(const QString& message) { return message.toHtmlEscaped(); }
