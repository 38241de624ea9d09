#pragma once

// The upload of the records the Disconnect Log holds at start, for the statistics store
// that owns it: at most PhoneHomeServices::kUploadBatch requests at a time, the next batch
// read from the file once every answer of the one before is in, and none after an answer
// that was not 2xx. A record leaves the log only once the server answered its request
// with 2xx; the log is rewritten once, when the sending ends. Main thread only.

#include <QByteArray>
#include <QtGlobal>

#include <cstddef>
#include <cstdint>
#include <vector>

class PhoneHomeServices;

class PhoneHomeReportSender {
public:
    // The store builds and sends each request through its own members.
    explicit PhoneHomeReportSender(PhoneHomeServices& store);

    // Starts on the Disconnect Log as it is now; nothing when already sending or no log.
    void SendStoredReports();
    // The answer to the request with this sequence number.
    void RequestFinished(std::uint32_t sequence);
    void RequestFailed(std::uint32_t sequence);
    // Ends the sending at once: what was taken leaves the log, the rest waits.
    void FinishSending();

    int uploadsWaiting() const;
    std::size_t recordsHeld() const { return outgoing_.size(); }
    bool sending() const { return sending_; }

private:
    std::vector<QByteArray> ReadNextBatch();
    void SendNextBatch();
    void BatchAnswered();

    PhoneHomeServices& store_;

    // The batch of uploads running: records read from the Disconnect Log, in file order.
    struct Outgoing {
        QByteArray record;
        std::uint32_t sequence = 0;
        bool delivered = false;
        bool answered = false;
    };
    std::vector<Outgoing> outgoing_;
    // Bytes at the head of the Disconnect Log that this start sends; what follows them was
    // appended during this run.
    qint64 logHeadLength_ = 0;
    // Bytes of that head read so far.
    qint64 logOffset_ = 0;
    bool sending_ = false;
};
