#include "app/support/PhoneHomeUploader.h"

#include "platform/CurlMultiDriver.h"
#include "platform/RunLoop.h"

#include <algorithm>

struct CurlPhoneHomeUploader::Running final : platform::HttpTransferListener {
    CurlPhoneHomeUploader* owner = nullptr;
    std::function<void(bool)> done;
    std::unique_ptr<platform::CurlTransfer> transfer;
    std::unique_ptr<platform::Timer> deadline;

    void OnTransferComplete(platform::ErrorNumber error) override {
        const long status = transfer->GetStatusCode();
        End(error == platform::ErrorNumber{} && status >= 200 && status <= 299);
    }

    // Deadline timer or transfer: this object goes here, maybe from inside its own
    // timer's callback (allowed by platform::Timer).
    void End(bool answered2xx) {
        auto callback = std::move(done);
        // Deleting a transfer from inside its own listener callback is allowed.
        CurlPhoneHomeUploader* self = owner;
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

CurlPhoneHomeUploader::CurlPhoneHomeUploader(std::chrono::milliseconds deadline) : deadline_(deadline) {}

CurlPhoneHomeUploader::~CurlPhoneHomeUploader() { cancelAll(); }

void CurlPhoneHomeUploader::post(PhoneHomeUpload upload, std::function<void(bool)> done) {
    platform::HttpRequestSpec spec;
    spec.method = "POST";
    spec.url = std::move(upload.url);
    spec.headers = std::move(upload.headers);
    spec.suppressedHeaders = {"Accept", "Content-Type", "Expect"};
    spec.body.assign(upload.body.constData(), std::size_t(upload.body.size()));
    auto running = std::make_unique<Running>();
    running->owner = this;
    running->done = std::move(done);
    running->transfer = std::make_unique<platform::CurlTransfer>(std::move(spec), running.get());
    Running* r = running.get();
    r->deadline = std::make_unique<platform::Timer>([r] {
        r->transfer->Cancel();
        r->End(false);
    });
    running_.push_back(std::move(running));
    r->deadline->Start(deadline_, false);
    r->transfer->Start();
}

void CurlPhoneHomeUploader::cancelAll() {
    auto running = std::move(running_);
    running_.clear();
    for (auto& r : running)
        r->transfer->Cancel();
}
