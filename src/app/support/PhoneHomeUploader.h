#pragma once

// How the statistics store posts an upload body. One POST per body, to the statistics URL
// only, with exactly the headers given: nothing of curl's own (Accept, Content-Type,
// Expect), no proxy, no cookie or credentials.

#include <QByteArray>

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

struct PhoneHomeUpload {
    std::string url;
    std::vector<std::pair<std::string, std::string>> headers;
    QByteArray body;
};

class PhoneHomeUploader {
public:
    virtual ~PhoneHomeUploader() = default;
    // `done` runs once, on a later pass of the caller's run loop (never inside post), with
    // true when the server answered 2xx.
    virtual void post(PhoneHomeUpload upload, std::function<void(bool answered2xx)> done) = 0;
    // Drops every upload still running; their `done` never runs.
    virtual void cancelAll() = 0;
};

// Posts with the HTTP requestor on the calling thread's run loop; a redirect is not
// followed (it is no 2xx).
class RequestorPhoneHomeUploader : public PhoneHomeUploader {
public:
    // An upload not answered within this, however steadily its bytes come, is taken as
    // not answered 2xx.
    static constexpr std::chrono::milliseconds kDefaultDeadline{2 * 60 * 1000};

    explicit RequestorPhoneHomeUploader(std::chrono::milliseconds deadline = kDefaultDeadline);
    ~RequestorPhoneHomeUploader() override;
    void post(PhoneHomeUpload upload, std::function<void(bool answered2xx)> done) override;
    void cancelAll() override;

    struct Running;

private:
    std::vector<std::unique_ptr<Running>> running_;
    std::chrono::milliseconds deadline_;
};
