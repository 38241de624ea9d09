#pragma once

// The preference order of codecs behind the stream-format sort: a codec order (earlier
// is better) and a comparison table of bit-rate margins, "<codec A>-vs-<codec B>" -> N,
// meaning A is preferred only when its bit rate exceeds B's by more than N.
//
// Taken pair by pair those rules are not an ordering: the table may contradict itself
// (the built-in one does, by 1 bit/s), a pair may have a margin while another pair of
// the same codecs goes by the codec order, and codecs nobody lists have no order at all.
// A sort over such a comparison is undefined. So the ranking turns the rules into one
// sort key per format:
//
//   1. formats with channels, then formats whose media format has none, then formats
//      without a media format;
//   2. the rank of the codec's group: codecs joined by margins form a group, ranked by
//      its best listed member; groups without a listed member come last, together;
//   3. the bit rate less the codec's margin offset, higher first (offsets differ by the
//      table's margins, so a pair with a margin keeps the table's answer);
//   4. the codec's place in the codec order, then its name.
//
// Codec names are matched ignoring case everywhere, as two channels of one codec are.
// Where the table contradicts itself the larger margins are kept and a margin that
// disagrees with those already kept is dropped.

#include <QString>
#include <QStringList>
#include <QVariantMap>

#include <QHash>

#include <cstdint>
#include <memory>

class ZYMCodecRanking {
public:
    ZYMCodecRanking(const QStringList& codecOrder, const QVariantMap& comparisonTable);

    // "AACPLUS", "VLB", "MP3".
    static QStringList builtInCodecOrder();
    // MP3 over VLB or aacPlus only by more than 73728 bit/s; aacPlus over VLB unless
    // VLB leads by more than 1.
    static QVariantMap builtInComparisonTable();

    // The process's ranking, made on first use from the bundle resources
    // "RadioFormatOrdering" (an array of codec names) and
    // "RadioFormatCodecComparisonTable" (a dictionary of integers), each replacing its
    // built-in value. A missing resource is silent; one that is not the expected kind
    // of property list keeps the built-in value and logs one line.
    static std::shared_ptr<const ZYMCodecRanking> shared();
    // Forgets the process's ranking, so the next use loads the resources again (tests).
    static void resetShared();

    // Whether the value is a table of integer margins.
    static bool isComparisonTable(const QVariant& value);
    static bool isCodecOrder(const QVariant& value);

    const QStringList& codecOrder() const { return order_; }
    const QVariantMap& comparisonTable() const { return table_; }

    struct Key {
        int tier = 0;  // 0 channels, 1 no channels, 2 no media format
        std::int64_t groupRank = 0;
        std::int64_t score = 0;  // higher first
        std::int64_t codecPlace = 0;
        QString codec;  // case-folded
    };
    // A format with channels; its best channel's codec and bit rate.
    Key key(const QString& codec, std::int32_t bitRate) const;
    static Key keyWithoutChannels() { return Key{1, 0, 0, 0, {}}; }
    static Key keyWithoutMediaFormat() { return Key{2, 0, 0, 0, {}}; }
    // -1 when a comes first, 1 when b does, 0 when they are equal.
    static int compare(const Key& a, const Key& b);

private:
    struct Codec {
        std::int64_t groupRank;
        std::int64_t offset;
        std::int64_t place;
    };
    QStringList order_;
    QVariantMap table_;
    QHash<QString, Codec> codecs_;  // by case-folded name
};
