#include "app/radio/ZYMCodecRanking.h"

#include "app/foundation/PropertyList.h"
#include "app/foundation/Resources.h"
#include "runtime/LogMessage.h"

#include <algorithm>
#include <limits>
#include <mutex>
#include <vector>

namespace {

constexpr std::int64_t kUnlisted = std::numeric_limits<std::int32_t>::max();
// Bit rates are 32-bit, so a margin beyond 2^32 answers like 2^32; clamping keeps the
// sums of margins along a group far from overflow.
constexpr std::int64_t kMarginLimit = std::int64_t(1) << 32;
const QString kVersus = QStringLiteral("-vs-");

QString fold(const QString& codec) { return codec.toCaseFolded(); }

bool isInteger(const QVariant& value) {
    switch (value.metaType().id()) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong: return true;
    default: return false;
    }
}

std::int64_t clampedMargin(const QVariant& value) {
    if (value.metaType().id() == QMetaType::ULongLong)
        return std::int64_t(std::min<quint64>(value.toULongLong(), quint64(kMarginLimit)));
    return std::clamp<std::int64_t>(value.toLongLong(), -kMarginLimit, kMarginLimit);
}

// Union-find over codecs, each node knowing its offset from its parent.
class Groups {
public:
    int node(const QString& codec) {
        const auto it = index_.constFind(codec);
        if (it != index_.constEnd()) return *it;
        const int n = int(parent_.size());
        index_.insert(codec, n);
        names_.append(codec);
        parent_.push_back(n);
        offset_.push_back(0);
        return n;
    }
    // The root, with the node's offset from it.
    std::pair<int, std::int64_t> find(int n) {
        std::int64_t total = 0;
        int root = n;
        while (parent_[root] != root) {
            total += offset_[root];
            root = parent_[root];
        }
        // compress
        std::int64_t remaining = total;
        while (parent_[n] != n) {
            const int next = parent_[n];
            const std::int64_t step = offset_[n];
            parent_[n] = root;
            offset_[n] = remaining;
            remaining -= step;
            n = next;
        }
        return {root, total};
    }
    // Asks for offset(a) - offset(b) == margin; false when the kept margins disagree.
    bool join(int a, int b, std::int64_t margin) {
        const auto [ra, oa] = find(a);
        const auto [rb, ob] = find(b);
        if (ra == rb) return oa - ob == margin;
        // offset(ra) relative to rb: oa + x - ob = margin
        parent_[ra] = rb;
        offset_[ra] = margin + ob - oa;
        return true;
    }
    int size() const { return int(parent_.size()); }
    const QString& name(int n) const { return names_[n]; }

private:
    QHash<QString, int> index_;
    QStringList names_;
    std::vector<int> parent_;
    std::vector<std::int64_t> offset_;
};

struct Margin {
    QString key;
    QString a, b;
    std::int64_t n;
};

}  // namespace

QStringList ZYMCodecRanking::builtInCodecOrder() {
    return {QStringLiteral("AACPLUS"), QStringLiteral("VLB"), QStringLiteral("MP3")};
}

QVariantMap ZYMCodecRanking::builtInComparisonTable() {
    return {
        {QStringLiteral("MP3-vs-VLB"), qint64(73728)},      {QStringLiteral("MP3-vs-AACPLUS"), qint64(73728)},
        {QStringLiteral("VLB-vs-MP3"), qint64(-73728)},     {QStringLiteral("VLB-vs-AACPLUS"), qint64(1)},
        {QStringLiteral("AACPLUS-vs-MP3"), qint64(-73728)}, {QStringLiteral("AACPLUS-vs-VLB"), qint64(-1)},
    };
}

bool ZYMCodecRanking::isComparisonTable(const QVariant& value) {
    if (value.metaType().id() != QMetaType::QVariantMap) return false;
    const QVariantMap map = value.toMap();
    return std::all_of(map.cbegin(), map.cend(), isInteger);
}

bool ZYMCodecRanking::isCodecOrder(const QVariant& value) {
    if (value.metaType().id() != QMetaType::QVariantList) return false;
    const QVariantList list = value.toList();
    return std::all_of(list.cbegin(), list.cend(),
                       [](const QVariant& v) { return v.metaType().id() == QMetaType::QString; });
}

ZYMCodecRanking::ZYMCodecRanking(const QStringList& codecOrder, const QVariantMap& comparisonTable)
    : order_(codecOrder), table_(comparisonTable) {
    QHash<QString, std::int64_t> place;
    for (qsizetype i = 0; i < order_.size(); ++i) {
        const QString codec = fold(order_[i]);
        if (!place.contains(codec)) place.insert(codec, std::min<std::int64_t>(i, kUnlisted - 1));
    }

    std::vector<Margin> margins;
    for (auto it = table_.cbegin(); it != table_.cend(); ++it) {
        if (!isInteger(it.value())) continue;
        const qsizetype at = it.key().indexOf(kVersus);
        if (at < 0) continue;
        Margin m{it.key(), fold(it.key().left(at)), fold(it.key().mid(at + kVersus.size())), clampedMargin(it.value())};
        // one codec on both sides goes by bit rate alone
        if (m.a == m.b) continue;
        margins.push_back(std::move(m));
    }
    // When margins contradict each other the larger ones win.
    std::stable_sort(margins.begin(), margins.end(), [](const Margin& x, const Margin& y) {
        const auto ax = x.n < 0 ? -x.n : x.n, ay = y.n < 0 ? -y.n : y.n;
        if (ax != ay) return ax > ay;
        return x.key < y.key;
    });

    Groups groups;
    for (const QString& codec : place.keys())
        groups.node(codec);
    for (const Margin& m : margins)
        groups.join(groups.node(m.a), groups.node(m.b), m.n);

    // Each group is anchored at its best member (by place, then name) and ranked by it.
    struct Anchor {
        std::int64_t place = kUnlisted;
        QString name;
        std::int64_t offset = 0;
        bool set = false;
    };
    QHash<int, Anchor> anchors;
    for (int n = 0; n < groups.size(); ++n) {
        const auto [root, offset] = groups.find(n);
        const std::int64_t p = place.value(groups.name(n), kUnlisted);
        Anchor& anchor = anchors[root];
        if (!anchor.set || p < anchor.place || (p == anchor.place && groups.name(n) < anchor.name)) {
            anchor = Anchor{p, groups.name(n), offset, true};
        }
    }
    for (int n = 0; n < groups.size(); ++n) {
        const auto [root, offset] = groups.find(n);
        const Anchor& anchor = anchors[root];
        codecs_.insert(groups.name(n),
                       Codec{anchor.place, offset - anchor.offset, place.value(groups.name(n), kUnlisted)});
    }
}

ZYMCodecRanking::Key ZYMCodecRanking::key(const QString& codec, std::int32_t bitRate) const {
    const QString folded = fold(codec);
    const auto it = codecs_.constFind(folded);
    const Codec c = it != codecs_.constEnd() ? *it : Codec{kUnlisted, 0, kUnlisted};
    return Key{0, c.groupRank, std::int64_t(bitRate) - c.offset, c.place, folded};
}

int ZYMCodecRanking::compare(const Key& a, const Key& b) {
    if (a.tier != b.tier) return a.tier < b.tier ? -1 : 1;
    if (a.tier != 0) return 0;
    if (a.groupRank != b.groupRank) return a.groupRank < b.groupRank ? -1 : 1;
    if (a.score != b.score) return a.score > b.score ? -1 : 1;
    if (a.codecPlace != b.codecPlace) return a.codecPlace < b.codecPlace ? -1 : 1;
    const int byName = a.codec.compare(b.codec);
    return byName < 0 ? -1 : byName > 0 ? 1 : 0;
}

// --- the process's ranking ---

namespace {

std::mutex sharedMutex;
std::shared_ptr<const ZYMCodecRanking> sharedRanking;

template <class Check>
QVariant loadResource(const QString& name, const QVariant& builtIn, Check isExpectedKind, const char* failure) {
    const QString path = Resources::find(name, QStringLiteral("plist"));
    if (path.isEmpty()) return builtIn;
    const auto value = PropertyList::readFile(path);
    if (value && isExpectedKind(*value)) return *value;
    LogMessage(kLogDebug, failure, path.toUtf8().constData());
    return builtIn;
}

}  // namespace

std::shared_ptr<const ZYMCodecRanking> ZYMCodecRanking::shared() {
    std::lock_guard lock(sharedMutex);
    if (!sharedRanking) {
        const QVariant order = loadResource(QStringLiteral("RadioFormatOrdering"), builtInCodecOrder(), isCodecOrder,
                                            "Failed to Load theCodecOrderArray - [%s]\n");
        const QVariant table = loadResource(QStringLiteral("RadioFormatCodecComparisonTable"), builtInComparisonTable(),
                                            isComparisonTable, "Failed to Load theCodecComparisonTable - [%s]\n");
        sharedRanking = std::make_shared<const ZYMCodecRanking>(order.toStringList(), table.toMap());
    }
    return sharedRanking;
}

void ZYMCodecRanking::resetShared() {
    std::lock_guard lock(sharedMutex);
    sharedRanking.reset();
}
