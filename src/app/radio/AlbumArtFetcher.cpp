#include "app/radio/AlbumArtFetcher.h"

#include "platform/CurlMultiDriver.h"

#include <QTimer>
#include <QUrl>

namespace {

class CurlAlbumArtFetcher : public AlbumArtFetcher, public platform::HttpTransferListener {
public:
    CurlAlbumArtFetcher(QString url, CurlAlbumArtFetcherLimits limits) : url_(std::move(url)), limits_(limits) {
        idle_.setSingleShot(true);
        QObject::connect(&idle_, &QTimer::timeout, [this] { fail(QStringLiteral("The request timed out.")); });
        deadline_.setSingleShot(true);
        QObject::connect(&deadline_, &QTimer::timeout, [this] { fail(QStringLiteral("The request timed out.")); });
    }

    QString url() const override { return url_; }

    void fetch(AlbumArtFetchClient* client, bool) override {
        client_ = client;
        const QUrl parsed(url_);
        const QString scheme = parsed.scheme().toLower();
        if (!parsed.isValid() || (scheme != QLatin1String("http") && scheme != QLatin1String("https"))) {
            // Nothing goes out; the failure still comes later, like any other.
            QTimer::singleShot(0, &idle_, [this] { fail(QStringLiteral("Unsupported URL")); });
            return;
        }
        platform::HttpRequestSpec spec;
        spec.url = url_.toStdString();
        spec.streamBody = true;
        transfer_ = std::make_unique<platform::CurlTransfer>(std::move(spec), this);
        idle_.start(limits_.inactivityTimeout);
        deadline_.start(limits_.deadline);
        transfer_->Start();
    }

    void invalidateClient() override { client_ = nullptr; }

private:
    void OnTransferActivity() override { idle_.start(limits_.inactivityTimeout); }

    void OnTransferData(const char* data, std::size_t size) override {
        if (failed_) return;
        if (std::size_t(body_.size()) + size > limits_.maxBodyBytes) {
            fail(QStringLiteral("The response is too large."));
            return;
        }
        body_.append(data, qsizetype(size));
    }

    void OnTransferComplete(platform::ErrorNumber error) override {
        if (failed_) return;
        idle_.stop();
        deadline_.stop();
        if (error.domain != 0 || error.code != 0) {
            fail(QStringLiteral("The download failed (%1, %2).").arg(error.domain).arg(error.code));
            return;
        }
        const long status = transfer_->GetStatusCode();
        if (status < 200 || status > 299) {
            fail(QStringLiteral("The server answered %1.").arg(status));
            return;
        }
        done_ = true;
        // The client may delete this fetcher: nothing of it is touched after the call.
        if (auto* client = std::exchange(client_, nullptr)) client->resourceFetchCompleted(*this, body_);
    }

    void fail(const QString& reason) {
        if (failed_ || done_) return;
        failed_ = true;
        idle_.stop();
        deadline_.stop();
        if (transfer_) transfer_->Cancel();
        if (auto* client = std::exchange(client_, nullptr)) client->resourceFetchFailed(*this, reason);
    }

    QString url_;
    CurlAlbumArtFetcherLimits limits_;
    AlbumArtFetchClient* client_ = nullptr;
    std::unique_ptr<platform::CurlTransfer> transfer_;
    QByteArray body_;
    QTimer idle_;
    QTimer deadline_;
    bool failed_ = false;
    bool done_ = false;
};

}  // namespace

AlbumArtFetcherFactory curlAlbumArtFetcherFactory(CurlAlbumArtFetcherLimits limits) {
    return [limits](const QString& url) { return std::make_unique<CurlAlbumArtFetcher>(url, limits); };
}
