#include "app/support/PhoneHomeReportSender.h"

#include "app/support/PhoneHomeServices.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <algorithm>
#include <memory>

namespace {

// The longest record: its header and the largest length its 16-bit field can give.
constexpr std::size_t kMaxRecordSize = 5 + 0xFFFF;
// How much of the Disconnect Log is read at a time (more than one longest record).
constexpr qint64 kLogReadWindow = 256 * 1024;
constexpr std::size_t kUploadBatch = PhoneHomeServices::kUploadBatch;

}  // namespace

PhoneHomeReportSender::PhoneHomeReportSender(PhoneHomeServices& store) : store_(store) {}

void PhoneHomeReportSender::SendStoredReports() {
    if (sending_) return;
    const QFileInfo log(store_.disconnectLogPath());
    if (!log.exists()) return;
    // Only what the log held at start goes out in this run; this run's own reports wait
    // for the next start.
    logHeadLength_ = log.size();
    logOffset_ = 0;
    sending_ = true;
    SendNextBatch();
}

std::vector<QByteArray> PhoneHomeReportSender::ReadNextBatch() {
    std::vector<QByteArray> batch;
    QFile file(store_.disconnectLogPath());
    if (!file.open(QIODevice::ReadOnly)) {
        logOffset_ = logHeadLength_;
        return batch;
    }
    while (batch.empty() && logOffset_ < logHeadLength_) {
        if (!file.seek(logOffset_)) {
            logOffset_ = logHeadLength_;
            break;
        }
        const QByteArray bytes = file.read(std::min<qint64>(kLogReadWindow, logHeadLength_ - logOffset_));
        if (bytes.isEmpty()) {
            logOffset_ = logHeadLength_;
            break;
        }
        // A short read (the file cut meanwhile) counts as its end.
        const bool last = logOffset_ + bytes.size() >= logHeadLength_ || std::size_t(bytes.size()) <= kMaxRecordSize;
        // A record starting past `limit` may reach beyond the window: it is read with the
        // next window, so records are found exactly as in one read of the whole file.
        const std::size_t limit = last ? std::size_t(bytes.size()) : std::size_t(bytes.size()) - kMaxRecordSize;
        PhoneHomeReader in(bytes);
        QByteArray record;
        std::size_t resume = 0;
        while (batch.size() < kUploadBatch && (last || in.pos <= limit)) {
            const std::size_t before = in.pos;
            const bool found = PhoneHomeServices::ReadRecord(in, record);
            const std::size_t start = in.pos - std::size_t(record.size());
            if (!found || (!last && start > limit)) {
                resume = last ? std::size_t(bytes.size()) : std::max(before, limit + 1);
                break;
            }
            batch.push_back(record);
            resume = in.pos;
        }
        if (batch.size() < kUploadBatch && !last && resume <= limit) resume = limit + 1;
        logOffset_ += qint64(resume);
    }
    return batch;
}

void PhoneHomeReportSender::SendNextBatch() {
    outgoing_.clear();
    const std::vector<QByteArray> batch = ReadNextBatch();
    if (batch.empty()) {
        FinishSending();
        return;
    }
    // Every request of the batch is listed before the first goes out.
    std::vector<std::unique_ptr<PhoneHomeRequestorDelegate>> requests;
    for (const QByteArray& r : batch) {
        auto request = store_.NewRequest();
        store_.AppendRecord(*request, r);
        outgoing_.push_back({r, request->sequenceNumber(), false});
        requests.push_back(std::move(request));
    }
    for (auto& request : requests)
        store_.SendRequest(std::move(request));
}

// Every answer of the batch is in: on to the next one, unless the server refused one (it
// would likely refuse the rest too; they wait for the next start).
void PhoneHomeReportSender::BatchAnswered() {
    bool allDelivered = true;
    for (const Outgoing& o : outgoing_) {
        if (!o.answered) return;
        allDelivered = allDelivered && o.delivered;
    }
    if (allDelivered && logOffset_ < logHeadLength_) {
        SendNextBatch();
        return;
    }
    FinishSending();
}

void PhoneHomeReportSender::RequestFinished(std::uint32_t sequence) {
    for (Outgoing& o : outgoing_) {
        if (o.sequence == sequence && !o.answered) {
            o.answered = true;
            o.delivered = true;
            BatchAnswered();
            return;
        }
    }
}

void PhoneHomeReportSender::RequestFailed(std::uint32_t sequence) {
    // The record stays in the Disconnect Log for the next start.
    for (Outgoing& o : outgoing_) {
        if (o.sequence == sequence && !o.answered) {
            o.answered = true;
            BatchAnswered();
            return;
        }
    }
}

int PhoneHomeReportSender::uploadsWaiting() const {
    int waiting = 0;
    for (const Outgoing& o : outgoing_)
        waiting += o.answered ? 0 : 1;
    return waiting;
}

void PhoneHomeReportSender::FinishSending() {
    sending_ = false;
    // The log becomes the records still waiting: those of the last batch that were not
    // taken, what was not read, and what this run appended. The rest of the file is
    // copied a piece at a time, so a long log never sits in memory whole.
    QByteArray kept;
    for (const Outgoing& o : outgoing_) {
        if (!o.delivered) kept.append(o.record);
    }
    outgoing_.clear();
    const QString path = store_.disconnectLogPath();
    QFile current(path);
    const bool readable = current.open(QIODevice::ReadOnly) && current.seek(std::min(logOffset_, current.size()));
    if (kept.isEmpty() && (!readable || current.atEnd())) {
        current.close();
        QFile::remove(path);
        return;
    }
    QSaveFile out(path);
    bool ok = out.open(QIODevice::WriteOnly) && out.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner) &&
              out.write(kept) == kept.size();
    while (ok && readable && !current.atEnd()) {
        const QByteArray piece = current.read(kLogReadWindow);
        ok = !piece.isEmpty() && out.write(piece) == piece.size();
    }
    if (!ok || !out.commit()) PhoneHomeServices::ReportFileTrouble(path, "not written");
}
