#include "app/support/PhoneHomeUploader.h"

#include "app/support/ZYMHttpRequestor.h"

#include <QString>
#include <QUrl>

#include <algorithm>

struct RequestorPhoneHomeUploader::Running final : ZYMHttpRequestorDelegate {
    RequestorPhoneHomeUploader* owner = nullptr;
    std::function<void(bool)> done;
    std::unique_ptr<ZYMHttpRequestor> requestor;

    void requestFinished(ZYMHttpRequestor* r) override {
        const int status = r->getStatusCode();
        End(!r->wasCancelled() && status >= 200 && status <= 299);
    }
    void requestFailed(ZYMHttpRequestor*, const ZYMHttpRequestorError&) override { End(false); }

    // This object goes here, from inside its requestor's message (the requestor allows it).
    void End(bool answered2xx) {
        auto callback = std::move(done);
        RequestorPhoneHomeUploader* self = owner;
        auto it = std::find_if(self->running_.begin(), self->running_.end(),
                               [this](const std::unique_ptr<Running>& r) { return r.get() == this; });
        std::unique_ptr<Running> keep;
        if (it != self->running_.end()) {
            keep = std::move(*it);
            self->running_.erase(it);
        }
        if (callback) callback(answered2xx);
    }
};

RequestorPhoneHomeUploader::RequestorPhoneHomeUploader(std::chrono::milliseconds deadline) : deadline_(deadline) {}

RequestorPhoneHomeUploader::~RequestorPhoneHomeUploader() { cancelAll(); }

void RequestorPhoneHomeUploader::post(PhoneHomeUpload upload, std::function<void(bool)> done) {
    auto running = std::make_unique<Running>();
    running->owner = this;
    running->done = std::move(done);
    running->requestor = std::make_unique<ZYMHttpRequestor>();
    ZYMHttpRequestor& requestor = *running->requestor;
    requestor.setURL(QUrl(QString::fromStdString(upload.url), QUrl::StrictMode), QStringLiteral("POST"));
    requestor.setProxy(QUrl());
    requestor.setAutoRedirect(false);
    requestor.setOnlyHeadersSet(true);
    requestor.setDeadline(deadline_);
    for (const auto& [name, value] : upload.headers)
        requestor.setHeader(QString::fromStdString(name), QString::fromStdString(value));
    requestor.setBody(upload.body);
    requestor.setDelegate(running.get());
    running_.push_back(std::move(running));
    requestor.execute();
}

void RequestorPhoneHomeUploader::cancelAll() {
    auto running = std::move(running_);
    running_.clear();
    for (auto& r : running)
        r->requestor->closeStream();
}
