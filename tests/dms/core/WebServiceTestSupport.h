#pragma once

// Shared by the transport, SOAP and SIF tests: the local test server with a path prefix
// per test, the "soap" endpoint's parsed record of each request, and a bounded wait on
// the run loop.

#include "platform/RunLoop.h"
#include "support/Env.h"
#include "support/TestServer.h"

#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QUrl>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

namespace wstest {

inline bool RunUntil(const std::function<bool()>& done, int ms = 10000) {
    return platform::RunLoop::Current().RunUntil(done, zymtest::Scaled(std::chrono::milliseconds(ms)));
}

inline void RunFor(int ms) { platform::RunLoop::Current().RunFor(std::chrono::milliseconds(ms)); }

inline std::string Str(const QJsonValue& v) { return v.toString().toStdString(); }

// One recorded request with what the server parsed from its envelope ("soap").
struct SoapRecord {
    zymtest::RecordedRequest http;
    QJsonObject soap;
};

class WebServiceTest : public ::testing::Test {
protected:
    zymtest::TestServer& server = zymtest::TestServer::Get();
    std::string prefix = server.NewPrefix();

    std::string Url(const std::string& name) const { return server.Url(prefix + name); }
    std::string RefusedUrl() const {
        return "http://127.0.0.1:" + std::to_string(zymtest::TestServer::ClosedPort()) + "/soap/Service";
    }
    void Script(const std::string& name, QJsonObject script) {
        script["path"] = QString::fromStdString(prefix + name);
        server.Script(script);
    }
    // A "soap" endpoint answering with the given answers in order (the last repeats).
    void Soap(const std::string& name, QJsonArray answers) { Script(name, {{"kind", "soap"}, {"answers", answers}}); }
    void Soap(const std::string& name, QJsonObject answer) { Soap(name, QJsonArray{answer}); }

    std::vector<SoapRecord> Records(const std::string& under = {}) {
        const std::string p = prefix + under;
        const auto raw = server.Requests(p);
        const auto [status, body] = server.Exchange(
            "GET", "/_ctl/requests?prefix=" + QUrl::toPercentEncoding(QString::fromStdString(p)).toStdString());
        const QJsonArray array = QJsonDocument::fromJson(QByteArray::fromStdString(body)).array();
        std::vector<SoapRecord> out;
        for (std::size_t i = 0; i < raw.size() && i < static_cast<std::size_t>(array.size()); ++i)
            out.push_back({raw[i], array[static_cast<int>(i)].toObject()["soap"].toObject()});
        return out;
    }
};

}  // namespace wstest
