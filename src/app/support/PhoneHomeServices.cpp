#include "app/support/PhoneHomeServices.h"

#include "app/foundation/ZYMFileManager.h"
#include "app/foundation/Clock.h"
#include "app/support/PhoneHomeKeys.h"
#include "app/support/PhoneHomeUploader.h"

#include <QDateTime>
#include <QFile>
#include <QSaveFile>
#include <QUrl>

#include <atomic>
#include <cstdio>
#include <optional>
#include <exception>

namespace {

constexpr std::uint8_t kRecordTag = 0xA1;
constexpr std::uint8_t kVersionTag = 0xA0;
constexpr std::size_t kRecordHeaderSize = 10;
// The entries' length goes into a 16-bit field together with the 5 bytes of the version
// field.
constexpr std::size_t kMaxEntryBytes = 65530;
constexpr char kUserAgent[] = "ZYM Radio for Mac OS X";

std::atomic<std::uint32_t> gRequestSequence{0};

std::optional<QByteArray> ReadWholeFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return std::nullopt;
    return file.readAll();
}

bool WriteAtomically(const QString& path, const QByteArray& bytes) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || !file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner) ||
        file.write(bytes) != bytes.size() || !file.commit()) {
        PhoneHomeServices::ReportFileTrouble(path, "not written");
        return false;
    }
    return true;
}

bool AppendToFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append)) {
        PhoneHomeServices::ReportFileTrouble(path, "not open");
        return false;
    }
    ZYMFileManager::makeFilePrivate(file.handle());
    if (file.write(bytes) != bytes.size() || !file.flush()) {
        PhoneHomeServices::ReportFileTrouble({}, "fail");
        return false;
    }
    return true;
}

void AppendBigEndian(QByteArray& out, std::uint32_t value, int width) {
    for (int i = width - 1; i >= 0; --i)
        out.append(char((value >> (8 * i)) & 0xFF));
}

void AppendLittleEndian(QByteArray& out, std::uint32_t value, int width) {
    for (int i = 0; i < width; ++i)
        out.append(char((value >> (8 * i)) & 0xFF));
}

bool IsOneByteKey(std::uint16_t key) { return key == kRecordTag || key == kVersionTag; }

// The size of the record starting at `at`, when its two header fields are there and the
// whole record lies within the bytes; 0 otherwise.
std::size_t WholeRecordAt(const PhoneHomeReader& in, std::size_t at) {
    if (in.size - at < kRecordHeaderSize) return 0;
    const std::uint8_t* p = in.data + at;
    if (p[0] != kRecordTag || ReadBigEndian(p + 1, 2) != 2 || p[5] != kVersionTag || ReadBigEndian(p + 6, 2) != 2)
        return 0;
    const std::size_t rest = ReadBigEndian(p + 3, 2);
    if (rest < 5) return 0;
    const std::size_t size = rest + 5;
    return size <= in.size - at ? size : 0;
}

// Both header fields are there: the file is one of ours, though perhaps cut short.
bool HasRecordHeader(const PhoneHomeReader& in) {
    return in.size >= 8 && in.data[0] == kRecordTag && ReadBigEndian(in.data + 1, 2) == 2 &&
           in.data[5] == kVersionTag && ReadBigEndian(in.data + 6, 2) == 2;
}

}  // namespace

PhoneHomeRequestorDelegate::PhoneHomeRequestorDelegate(PhoneHomeServices* store)
    : store_(store), sequence_(++gRequestSequence) {}

void PhoneHomeRequestorDelegate::resetSequenceForTesting() { gRequestSequence = 0; }

PhoneHomeServices::PhoneHomeServices(const Clock& clock, std::function<long()> random, MachineFactsSource machineFacts,
                                     PhoneHomeUploader* uploader)
    : clock_(clock),
      random_(std::move(random)),
      machineFacts_(std::move(machineFacts)),
      uploader_(uploader),
      reports_(*this) {}

PhoneHomeServices::~PhoneHomeServices() {
    if (uploader_) uploader_->cancelAll();
    // A quit while uploads run: what was taken leaves the log, the rest waits.
    if (reports_.sending()) reports_.FinishSending();
    ClearAll();
    // A normal end: the lock goes, so the next start knows this run ended well.
    if (holdsLock_) QFile::remove(sessionLockPath_);
}

void PhoneHomeServices::ReportFileTrouble(const QString& path, const char* what) {
    if (path.isEmpty()) {
        std::printf("%s\n", what);
    } else {
        std::printf("file: %s -- %s\n", path.toLocal8Bit().constData(), what);
    }
    std::fflush(stdout);
}

std::int64_t PhoneHomeServices::Now() const { return clock_.now().toSecsSinceEpoch(); }

void PhoneHomeServices::Init(const QString& sessionStatsPath, const QString& disconnectLogPath,
                             const QString& sessionLockPath) {
    sessionStatsPath_ = sessionStatsPath;
    disconnectLogPath_ = disconnectLogPath;
    sessionLockPath_ = sessionLockPath;
    try {
        LoadPrevious();
        BeginSession();
    } catch (const std::exception&) {
        // Statistics never stop the program.
    }
}

// ---- values ------------------------------------------------------------------------------

void PhoneHomeServices::SetData(std::uint16_t key, const void* bytes, std::uint16_t length) {
    values_.erase(key);
    if (bytes == nullptr || std::int16_t(length) < 1) return;
    const auto* p = static_cast<const std::uint8_t*>(bytes);
    values_[key].bytes.assign(p, p + length);
}

void PhoneHomeServices::SetNumber(std::uint16_t key, std::uint32_t value) {
    const int width = PhoneHomeNumberWidth(PhoneHomeKeyType(key));
    if (width == 0) return;
    std::uint8_t bytes[4];
    for (int i = 0; i < width; ++i)
        bytes[i] = std::uint8_t(value >> (8 * (width - 1 - i)));
    SetData(key, bytes, std::uint16_t(width));
}

void PhoneHomeServices::SetString(std::uint16_t key, const std::string& text) {
    SetData(key, text.data(), std::uint16_t(text.size() > 0xFFFF ? 0xFFFF : text.size()));
}

void PhoneHomeServices::SetBytes(std::uint16_t key, const void* bytes, std::uint16_t length) {
    SetData(key, bytes, length);
}

std::uint32_t PhoneHomeServices::GetNumber(std::uint16_t key) const {
    auto it = values_.find(key);
    if (it == values_.end()) return 0;
    const auto& bytes = it->second.bytes;
    return ReadBigEndian(bytes.data(), bytes.size() < 4 ? int(bytes.size()) : 4);
}

bool PhoneHomeServices::HasKey(std::uint16_t key) const { return values_.count(key) != 0; }

std::uint32_t PhoneHomeServices::Increment(std::uint16_t key) {
    const std::uint32_t value = GetNumber(key) + 1;
    SetNumber(key, value);
    return value;
}

void PhoneHomeServices::SetRecordCategory(std::uint8_t category) { SetData(kPhoneHomeKeyRecordCategory, &category, 1); }

bool PhoneHomeServices::IsKnownKey(std::uint16_t key) const {
    return (PhoneHomeKeyFlags(key) & kPhoneHomeFlagNeverWritten) == 0;
}

std::uint32_t PhoneHomeServices::PackErrorCode(std::uint8_t kind, std::uint16_t code) const {
    const std::uint32_t swapped = std::uint32_t((code & 0xFF) << 8) | std::uint32_t(code >> 8);
    return (std::uint32_t(kind) << 16) | swapped;
}

template <class Pred>
void PhoneHomeServices::RemoveIf(Pred pred) {
    for (auto it = values_.begin(); it != values_.end();) {
        it = pred(it->first) ? values_.erase(it) : std::next(it);
    }
}

void PhoneHomeServices::ClearCategory(std::uint8_t category) {
    const std::uint16_t mask = PhoneHomeCategoryMask(category);
    if (mask == 0) return;
    RemoveIf([mask](std::uint16_t key) { return (PhoneHomeKeyFlags(key) & mask) != 0; });
}

void PhoneHomeServices::ClearAll() { values_.clear(); }

void PhoneHomeServices::KeepPersistent() {
    RemoveIf([](std::uint16_t key) { return (PhoneHomeKeyFlags(key) & kPhoneHomeFlagPersistent) == 0; });
}

void PhoneHomeServices::DropSampledKeys() {
    RemoveIf([](std::uint16_t key) { return (PhoneHomeKeyFlags(key) & kPhoneHomeFlagSampled) != 0; });
}

// ---- timers ------------------------------------------------------------------------------

void PhoneHomeServices::StartTimer(std::uint16_t key) {
    auto it = timers_.find(key);
    if (it == timers_.end()) {
        // Continues from a value restored at start-up.
        it = timers_.emplace(key, STimerInfo{GetNumber(key), 0, false}).first;
    }
    STimerInfo& timer = it->second;
    if (!timer.running) {
        timer.start = Now();
        timer.running = true;
    }
}

void PhoneHomeServices::StopTimer(std::uint16_t key) {
    auto it = timers_.find(key);
    if (it == timers_.end() || !it->second.running) return;
    STimerInfo& timer = it->second;
    timer.accumulated += std::uint32_t(Now() - timer.start);
    timer.start = 0;
    timer.running = false;
}

void PhoneHomeServices::PushTimers() {
    const std::int64_t now = Now();
    for (const auto& [key, timer] : timers_) {
        SetNumber(key, timer.accumulated + (timer.running ? std::uint32_t(now - timer.start) : 0));
    }
}

// ---- sessions ----------------------------------------------------------------------------

void PhoneHomeServices::BeginSession() {
    KeepPersistent();
    SetNumber(kPhoneHomeKeyEndCode, 255);
    SetRecordCategory(4);
    SetSignOnState(1);
    if (!HasKey(kPhoneHomeKeyZeroBytes)) {
        const std::uint8_t zeros[10] = {};
        SetBytes(kPhoneHomeKeyZeroBytes, zeros, sizeof zeros);
    }
    if (!HasKey(kPhoneHomeKeyClientID)) SetNumber(kPhoneHomeKeyClientID, std::uint32_t(random_()));
    MachineInfo();
    StampDate();
    SaveSessionStats();
}

void PhoneHomeServices::SetSignOnState(std::uint32_t state) {
    switch (state) {
    case 0:
    case 1:
    case 5:
        StopTimer(kPhoneHomeKeySignedOnTime);
        StartTimer(kPhoneHomeKeySignedOffTime);
        SetRecordCategory(4);
        break;
    case 2: SetRecordCategory(2); break;
    case 3:
    case 4:
        StopTimer(kPhoneHomeKeySignedOffTime);
        StartTimer(kPhoneHomeKeySignedOnTime);
        SetRecordCategory(3);
        break;
    default: break;
    }
    SetNumber(kPhoneHomeKeySignOnState, state);
    SaveSessionStats();
}

void PhoneHomeServices::EndSession(std::uint8_t category, std::uint32_t endCode) {
    if (endCode != 0) {
        SetRecordCategory(category);
        StampDate();
        SetNumber(kPhoneHomeKeyEndCode, endCode);
        AppendRecordToDisconnectLog();
    }
    switch (category) {
    case 2: break;
    case 6:
    case 7:
        ClearCategory(category);
        SetRecordCategory(3);
        break;
    case 8: SetRecordCategory(3); break;
    default: BeginSession(); break;
    }
    SetNumber(kPhoneHomeKeyEndCode, 255);
    SaveSessionStats();
}

void PhoneHomeServices::StampDate() {
    SetString(kPhoneHomeKeyDateStamp, FormatDateStamp(clock_));
    PushTimers();
}

void PhoneHomeServices::MachineInfo() {
    SetNumber(kPhoneHomeKeyPlatformCode, 17);
    const MachineFacts facts = machineFacts_ ? machineFacts_() : MachineFacts{};
    if (facts.memoryBytes) SetNumber(kPhoneHomeKeyMemoryMB, std::uint32_t(*facts.memoryBytes / 1048576));
    if (facts.systemVersion) SetNumber(kPhoneHomeKeyOSVersion, *facts.systemVersion);
    SetString(kPhoneHomeKeyMachineModel, FormatMachineModel(facts));
}

// ---- reports -----------------------------------------------------------------------------

void PhoneHomeServices::ScheduleReports() {
    if (GetNumber(kPhoneHomeKeyLaunchCount) == 1) {
        firstLaunchPending_ = true;
    } else {
        const long threshold = long(200.0 * double(reportingRate_));
        const long draw = random_() % 200 + 1;
        if (draw <= threshold) sampledPending_ = true;
    }
    if (firstLaunchPending_) QueueFirstLaunchReport();
    if (sampledPending_) QueueSampledReport();
    if (category6Pending_) QueueCategory6Report();
    firstLaunchPending_ = sampledPending_ = category6Pending_ = false;
}

void PhoneHomeServices::QueueSampledReport() {
    EndSession(8, 237);
    DropSampledKeys();
}

void PhoneHomeServices::QueueFirstLaunchReport() { EndSession(8, 238); }

void PhoneHomeServices::QueueCategory6Report() { EndSession(6, 231); }

// ---- records -----------------------------------------------------------------------------

QByteArray PhoneHomeServices::WriteRecord(bool withPersistent) const {
    std::uint16_t mask = kPhoneHomeFlagEveryRecord;
    const std::uint32_t endCode = GetNumber(kPhoneHomeKeyEndCode);
    if (endCode == 255 || endCode == 232 || endCode == 254) mask |= kPhoneHomeFlagSessionRunning;
    mask |= PhoneHomeCategoryMask(std::uint8_t(GetNumber(kPhoneHomeKeyRecordCategory)));
    if (withPersistent) mask |= kPhoneHomeFlagPersistent;

    QByteArray entries;
    for (const auto& [key, value] : values_) {
        const std::uint16_t flags = PhoneHomeKeyFlags(key);
        if ((flags & mask) == 0 || (flags & kPhoneHomeFlagNeverWritten) != 0) continue;
        const std::size_t entrySize = (IsOneByteKey(key) ? 1 : 2) + 2 + value.bytes.size();
        // An entry that no longer fits the record's 16-bit length is left out, rather
        // than writing a length that the reader would take for a shorter record.
        if (std::size_t(entries.size()) + entrySize > kMaxEntryBytes) continue;
        AppendBigEndian(entries, key, IsOneByteKey(key) ? 1 : 2);
        AppendBigEndian(entries, std::uint32_t(value.bytes.size()), 2);
        entries.append(reinterpret_cast<const char*>(value.bytes.data()), qsizetype(value.bytes.size()));
    }
    QByteArray record;
    record.reserve(qsizetype(kRecordHeaderSize) + entries.size());
    record.append(char(kRecordTag));
    AppendBigEndian(record, 2, 2);
    AppendBigEndian(record, std::uint32_t(entries.size() + 5), 2);
    record.append(char(kVersionTag));
    AppendBigEndian(record, 2, 2);
    AppendBigEndian(record, 0x0701, 2);
    record.append(entries);
    return record;
}

PhoneHomeServices::Header PhoneHomeServices::ReadHeader(PhoneHomeReader& in, int keyWidth, int lengthWidth) {
    Header header;
    const std::size_t need = std::size_t(keyWidth) + std::size_t(lengthWidth);
    if (in.pos > in.size || in.size - in.pos < need) {
        in.pos = in.size;
        header.end = in.size;
        return header;
    }
    header.key = ReadBigEndian(in.data + in.pos, keyWidth);
    header.length = ReadBigEndian(in.data + in.pos + keyWidth, lengthWidth);
    in.pos += need;
    header.end = in.pos + header.length;
    header.complete = true;
    return header;
}

bool PhoneHomeServices::ReadRecord(PhoneHomeReader& in, QByteArray& out) {
    out.clear();
    // Stray bytes are stepped over one at a time, so that a damaged spot costs only
    // itself and the records after it are still found.
    while (!in.atEnd()) {
        if (const std::size_t size = WholeRecordAt(in, in.pos)) {
            out = QByteArray(reinterpret_cast<const char*>(in.data + in.pos), qsizetype(size));
            in.pos += size;
            return true;
        }
        ++in.pos;
    }
    return false;
}

void PhoneHomeServices::LoadPersistentKeys(PhoneHomeReader& in) {
    const std::size_t recordSize = WholeRecordAt(in, 0);
    // A record cut short still gives what it holds, but nothing past the file.
    const std::size_t end = recordSize ? recordSize : in.size;
    in.pos = kRecordHeaderSize;
    while (in.pos < end) {
        PhoneHomeReader entry(in.data, end);
        entry.pos = in.pos;
        const int keyWidth = IsOneByteKey(in.data[in.pos]) ? 1 : 2;
        const Header header = ReadHeader(entry, keyWidth, 2);
        if (!header.complete || header.end > end) break;
        const std::uint16_t key = std::uint16_t(header.key);
        const std::int32_t type = PhoneHomeKeyType(key);
        const int width = PhoneHomeNumberWidth(type);
        if ((PhoneHomeKeyFlags(key) & kPhoneHomeFlagPersistent) != 0 && width != 0 &&
            header.length == std::uint32_t(width) && !HasKey(key)) {
            SetData(key, in.data + entry.pos, std::uint16_t(width));
        }
        in.pos = header.end;
    }
    in.pos = in.size;
}

// ---- files -------------------------------------------------------------------------------

void PhoneHomeServices::SaveSessionStats() {
    try {
        StampDate();
        if (sessionStatsPath_.isEmpty()) return;
        // Written whole to a new file that then takes the old one's place, so a crash
        // leaves either record, never a mixture.
        WriteAtomically(sessionStatsPath_, WriteRecord(true));
    } catch (const std::exception&) {}
}

void PhoneHomeServices::AppendRecordToDisconnectLog() {
    if (disconnectLogPath_.isEmpty()) return;
    AppendToFile(disconnectLogPath_, WriteRecord(false));
}

void PhoneHomeServices::LoadPrevious() {
    if (auto previous = ReadWholeFile(sessionStatsPath_)) {
        PhoneHomeReader in(*previous);
        const std::size_t recordSize = WholeRecordAt(in, 0);
        if (HasRecordHeader(in)) {
            LoadPersistentKeys(in);
            // The lock is still there: the previous run did not end normally, and its last
            // state is reported as it was.
            if (QFile::exists(sessionLockPath_) && recordSize > 0) {
                AppendToFile(disconnectLogPath_, previous->left(qsizetype(recordSize)));
            }
        }
        QFile::remove(sessionStatsPath_);
    }
    QFile stats(sessionStatsPath_);
    if (stats.open(QIODevice::WriteOnly | QIODevice::Truncate))
        ZYMFileManager::makeFilePrivate(stats.handle());
    else
        ReportFileTrouble(sessionStatsPath_, "not open");
    QFile lock(sessionLockPath_);
    if (lock.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        ZYMFileManager::makeFilePrivate(lock.handle());
        holdsLock_ = true;
    } else {
        ReportFileTrouble(sessionLockPath_, "not open");
    }
}

// ---- upload ------------------------------------------------------------------------------

void PhoneHomeServices::setStatisticsUrl(const QString& url) {
    const QUrl parsed(url, QUrl::StrictMode);
    const QString scheme = parsed.scheme().toLower();
    const bool usable = parsed.isValid() && !parsed.host().isEmpty() && (scheme == "http" || scheme == "https") &&
                        parsed.userInfo().isEmpty();
    statisticsUrl_ = usable ? parsed : QUrl();
}

void PhoneHomeServices::SendStoredReports() {
    if (uploader_ == nullptr || statisticsUrl_.isEmpty()) return;
    reports_.SendStoredReports();
}

std::unique_ptr<PhoneHomeRequestorDelegate> PhoneHomeServices::NewRequest() {
    auto request = std::make_unique<PhoneHomeRequestorDelegate>(this);
    QByteArray& data = request->data();
    AppendLittleEndian(data, 101, 2);
    AppendLittleEndian(data, 2, 2);
    AppendLittleEndian(data, 0, 2);
    AppendLittleEndian(data, request->sequenceNumber(), 4);
    return request;
}

void PhoneHomeServices::AppendRecord(PhoneHomeRequestorDelegate& request, const QByteArray& record) {
    QByteArray& data = request.data();
    AppendLittleEndian(data, 1, 2);
    AppendLittleEndian(data, std::uint32_t(record.size()) & 0xFFFF, 2);
    data.append(record);
    request.record = record;
}

void PhoneHomeServices::SendRequest(std::unique_ptr<PhoneHomeRequestorDelegate> request) {
    if (uploader_ == nullptr || statisticsUrl_.isEmpty()) return;
    PhoneHomeUpload upload;
    upload.url = statisticsUrl_.toString(QUrl::FullyEncoded).toStdString();
    upload.headers = {{"User-Agent", kUserAgent},
                      {"Content-Length", std::to_string(request->data().size())},
                      {"Host", statisticsUrl_.host(QUrl::FullyEncoded).toStdString()}};
    upload.body = request->data();
    std::shared_ptr<PhoneHomeRequestorDelegate> held(std::move(request));
    uploader_->post(std::move(upload), [this, held](bool answered2xx) {
        try {
            if (answered2xx) {
                RequestFinished(*held);
            } else {
                RequestFailed(*held);
            }
        } catch (const std::exception&) {}
    });
}

void PhoneHomeServices::RequestFinished(PhoneHomeRequestorDelegate& request) {
    reports_.RequestFinished(request.sequenceNumber());
}

void PhoneHomeServices::RequestFailed(PhoneHomeRequestorDelegate& request) {
    reports_.RequestFailed(request.sequenceNumber());
}
