#pragma once

// Shared pieces of the statistics tests: a store over a temporary folder with a fixed
// clock, scripted random numbers and fixed machine facts, and byte helpers.

#include "app/foundation/Clock.h"
#include "app/support/MachineFacts.h"
#include "app/support/PhoneHomeServices.h"

#include <QByteArray>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <deque>
#include <memory>
#include <string>

namespace stats_test {

inline QByteArray Hex(const char* hex) { return QByteArray::fromHex(hex); }

inline QByteArray ReadFile(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

inline void WriteFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    ASSERT_EQ(f.write(bytes), bytes.size());
}

// random() values handed out in order; once used up, the last one repeats.
struct ScriptedRandom {
    std::shared_ptr<std::deque<long>> values = std::make_shared<std::deque<long>>(std::deque<long>{12345});
    void push(long v) { values->push_back(v); }
    void set(std::initializer_list<long> v) { *values = v; }
    std::function<long()> source() const {
        auto q = values;
        return [q] {
            const long v = q->front();
            if (q->size() > 1) q->pop_front();
            return v;
        };
    }
};

inline MachineFacts TestFacts() {
    MachineFacts facts;
    facts.memoryBytes = 2048ull * 1048576ull;
    facts.systemVersion = 0x0610;
    facts.modelName = "M";
    facts.clockMHz = 2000;
    facts.processorCount = 1;
    return facts;
}

// A record with the given entries, each "key(4 hex digits) value(hex)".
inline QByteArray Record(const QByteArray& entries) {
    QByteArray r = Hex("A10002");
    const int rest = int(entries.size()) + 5;
    r.append(char(rest >> 8)).append(char(rest & 0xFF));
    r.append(Hex("A000020701"));
    r.append(entries);
    return r;
}

inline QByteArray Entry(int key, const QByteArray& value, int keyWidth = 2) {
    QByteArray e;
    if (keyWidth == 2) e.append(char(key >> 8));
    e.append(char(key & 0xFF));
    e.append(char(value.size() >> 8)).append(char(value.size() & 0xFF));
    e.append(value);
    return e;
}

}  // namespace stats_test
