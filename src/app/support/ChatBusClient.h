#pragma once

// Chat clients that take a status message over the session bus. Of the clients on Linux
// only Pidgin (and other programs over libpurple that offer its bus interface) is driven:
// it is found at run time by its bus name, and its current saved status gets the
// message while that status is "available", so an away message the listener typed stays.
// Calls block for at most 3 seconds, as a client that does not answer keeps its status.
// Main thread only.

#include <QDBusConnection>
#include <QString>

#include <optional>

class ChatBusClient {
public:
    virtual ~ChatBusClient() = default;
    virtual bool isRunning() const = 0;
    // Whether the listener's current status is available; none when the client did not
    // answer.
    virtual std::optional<bool> isAvailable() = 0;
    // True when the client took the message.
    virtual bool setStatusMessage(const QString& message) = 0;
};

class PurpleChatClient : public ChatBusClient {
public:
    static inline const QString kService = QStringLiteral("im.pidgin.purple.PurpleService");
    static inline const QString kPath = QStringLiteral("/im/pidgin/purple/PurpleObject");
    static inline const QString kInterface = QStringLiteral("im.pidgin.purple.PurpleInterface");
    static constexpr int kTimeoutMs = 3000;
    static constexpr int kStatusAvailable = 2;  // PURPLE_STATUS_AVAILABLE

    explicit PurpleChatClient(const QDBusConnection& bus);
    // Over the session bus.
    static PurpleChatClient& session();

    bool isRunning() const override;
    std::optional<bool> isAvailable() override;
    bool setStatusMessage(const QString& message) override;

    // The message as status markup: the client shows "<", ">" and "&" of a song title
    // as written instead of reading them as markup.
    static QString statusMarkup(const QString& message);

private:
    std::optional<int> currentSavedStatus();
    QDBusConnection bus_;
};
