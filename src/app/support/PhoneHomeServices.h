#pragma once

// The usage-statistics store: numbered statistics with their values, stopwatches for the
// timed keys, the sign-on state, and report records of a chosen category. Records go to
// three files of one folder ("Session Stats", "Disconnect Log", "Session Lock") and wait
// in the Disconnect Log until the statistics server has taken them.
//
// Main thread only. Time comes from the injected clock and chance from the injected
// random source, so every path is tested with fakes.

#include "app/support/MachineFacts.h"
#include "app/support/PhoneHomeReportSender.h"

#include <QByteArray>
#include <QString>
#include <QUrl>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

class Clock;
class PhoneHomeServices;
class PhoneHomeUploader;

// Reads records and entries out of bytes that may hold anything: no read goes past the end.
struct PhoneHomeReader {
    const std::uint8_t* data = nullptr;
    std::size_t size = 0;
    std::size_t pos = 0;

    PhoneHomeReader(const std::uint8_t* d, std::size_t n) : data(d), size(n) {}
    explicit PhoneHomeReader(const QByteArray& bytes)
        : data(reinterpret_cast<const std::uint8_t*>(bytes.constData())), size(std::size_t(bytes.size())) {}
    bool atEnd() const { return pos >= size; }
};

// One upload body and the record in it, handed to the uploader.
class PhoneHomeRequestorDelegate {
public:
    // Takes the next request sequence number of the process.
    explicit PhoneHomeRequestorDelegate(PhoneHomeServices* store);
    QByteArray& data() { return data_; }
    std::uint32_t sequenceNumber() const { return sequence_; }
    // The record in the body (kept so the Disconnect Log can be rewritten without it).
    QByteArray record;

    // The first upload of a process carries 1; tests that stand for a new process start again.
    static void resetSequenceForTesting();

private:
    PhoneHomeServices* store_;
    QByteArray data_;
    std::uint32_t sequence_;
};

class PhoneHomeServices {
public:
    // Uploads running at once, and records of the Disconnect Log held in memory.
    static constexpr std::size_t kUploadBatch = 16;

    struct SData {
        std::vector<std::uint8_t> bytes;
        virtual ~SData() = default;
    };
    struct STimerInfo {
        std::uint32_t accumulated = 0;
        std::int64_t start = 0;
        bool running = false;
    };
    struct Header {
        std::uint32_t key = 0;
        std::uint32_t length = 0;
        std::size_t end = 0;
        bool complete = false;  // both fields were in the bytes
    };

    // `clock` and the uploader (may be null: nothing is uploaded) must outlive the store.
    PhoneHomeServices(const Clock& clock, std::function<long()> random, MachineFactsSource machineFacts,
                      PhoneHomeUploader* uploader);
    virtual ~PhoneHomeServices();
    PhoneHomeServices(const PhoneHomeServices&) = delete;
    PhoneHomeServices& operator=(const PhoneHomeServices&) = delete;

    virtual void Init(const QString& sessionStatsPath, const QString& disconnectLogPath,
                      const QString& sessionLockPath);

    virtual void SetNumber(std::uint16_t key, std::uint32_t value);
    virtual void SetString(std::uint16_t key, const std::string& text);
    virtual void SetBytes(std::uint16_t key, const void* bytes, std::uint16_t length);
    virtual std::uint32_t GetNumber(std::uint16_t key) const;
    virtual bool HasKey(std::uint16_t key) const;
    virtual std::uint32_t Increment(std::uint16_t key);
    virtual void StartTimer(std::uint16_t key);
    virtual void StopTimer(std::uint16_t key);
    virtual void EndSession(std::uint8_t category, std::uint32_t endCode);
    virtual void ScheduleReports();
    virtual float GetReportingRate() const { return reportingRate_; }
    virtual void SetReportingRate(float rate) { reportingRate_ = rate; }
    virtual void QueueSampledReport();
    virtual void QueueFirstLaunchReport();
    virtual void QueueCategory6Report();
    virtual void SaveSessionStats();
    virtual bool IsKnownKey(std::uint16_t key) const;
    virtual void SetSignOnState(std::uint32_t state);
    // Uploads every record of the Disconnect Log, each in a request of its own (see
    // PhoneHomeReportSender).
    virtual void SendStoredReports();
    virtual void RequestFinished(PhoneHomeRequestorDelegate& request);
    virtual void RequestFailed(PhoneHomeRequestorDelegate& request);
    virtual std::uint32_t PackErrorCode(std::uint8_t kind, std::uint16_t code) const;
    virtual void SetData(std::uint16_t key, const void* bytes, std::uint16_t length);
    virtual void ClearCategory(std::uint8_t category);
    virtual void SetRecordCategory(std::uint8_t category);
    virtual void ClearAll();
    virtual void KeepPersistent();
    virtual void LoadPrevious();
    virtual void BeginSession();
    virtual void StampDate();
    virtual void MachineInfo();
    virtual void PushTimers();
    virtual void DropSampledKeys();
    virtual std::unique_ptr<PhoneHomeRequestorDelegate> NewRequest();
    virtual void AppendRecord(PhoneHomeRequestorDelegate& request, const QByteArray& record);
    virtual void SendRequest(std::unique_ptr<PhoneHomeRequestorDelegate> request);

    // The current values as a record; with the persistent keys for Session Stats.
    QByteArray WriteRecord(bool withPersistent) const;
    // A key (keyWidth bytes) and a length (lengthWidth bytes), both big-endian.
    static Header ReadHeader(PhoneHomeReader& in, int keyWidth, int lengthWidth);
    // The next whole record at or after the reader's position; bytes that do not start a
    // whole record are skipped. False when none is left.
    static bool ReadRecord(PhoneHomeReader& in, QByteArray& out);
    // Restores the numeric persistent values of a Session Stats record.
    void LoadPersistentKeys(PhoneHomeReader& in);
    void AppendRecordToDisconnectLog();
    // File trouble is reported on standard output and otherwise ignored.
    static void ReportFileTrouble(const QString& path, const char* what);

    // Where uploads go: an http or https URL without credentials; anything else, or none,
    // and nothing is sent and the Disconnect Log stays.
    void setStatisticsUrl(const QString& url);

    // Uploads of this start still waiting for their answer.
    int uploadsWaiting() const { return reports_.uploadsWaiting(); }
    // Records of the Disconnect Log held for the uploads now running.
    std::size_t recordsHeld() const { return reports_.recordsHeld(); }
    // Whether the uploads of this start are still going on.
    bool sendingStoredReports() const { return reports_.sending(); }

    const std::map<std::uint16_t, SData>& values() const { return values_; }
    QString sessionStatsPath() const { return sessionStatsPath_; }
    QString disconnectLogPath() const { return disconnectLogPath_; }
    QString sessionLockPath() const { return sessionLockPath_; }

private:
    std::int64_t Now() const;
    template <class Pred>
    void RemoveIf(Pred pred);

    bool firstLaunchPending_ = false;
    bool sampledPending_ = false;
    bool category6Pending_ = false;
    float reportingRate_ = 0;
    QString sessionStatsPath_;
    QString disconnectLogPath_;
    QString sessionLockPath_;
    std::map<std::uint16_t, SData> values_;
    std::map<std::uint16_t, STimerInfo> timers_;

    const Clock& clock_;
    std::function<long()> random_;
    MachineFactsSource machineFacts_;
    PhoneHomeUploader* uploader_;
    QUrl statisticsUrl_;
    bool holdsLock_ = false;
    PhoneHomeReportSender reports_;
};
