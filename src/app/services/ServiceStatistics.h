#pragma once

// Where the service layer's usage statistics go. There is no statistics endpoint yet:
// the application injects a recorder (tests use RecordingStatistics).

#include <QtGlobal>

#include <utility>
#include <vector>

// The key of a packed service error.
inline constexpr quint16 kPhoneHomeKeyServiceError = 93;

// A packed error statistic: the kind in the upper 16 bits, the code in the lower.
constexpr quint32 PackErrorCode(quint8 kind, quint16 code) { return (quint32(kind) << 16) | code; }
constexpr std::pair<quint8, quint16> UnpackErrorCode(quint32 value) {
    return {quint8(value >> 16), quint16(value & 0xFFFF)};
}

class StatisticsRecorder {
public:
    virtual ~StatisticsRecorder() = default;
    virtual void setNumber(quint16 key, quint32 value) = 0;

    // Keeps nothing; the application's recorder until the statistics store exists.
    static StatisticsRecorder& shared();
};

class RecordingStatistics : public StatisticsRecorder {
public:
    void setNumber(quint16 key, quint32 value) override { numbers.emplace_back(key, value); }
    std::vector<std::pair<quint16, quint32>> numbers;
};
