#include "app/radio/ZYMRadioStationFormat.h"

#include "app/foundation/ZYMStringUtils.h"
#include "dms/radio3/DMRadio3Types.h"

#include <algorithm>
#include <typeinfo>

// --- ZYMRadioMediaFormatChannel ---

ZYMRadioMediaFormatChannel::ZYMRadioMediaFormatChannel(const DMRadio3_MediaFormatChannelType& channel)
    : channel_(std::make_unique<DMRadio3_MediaFormatChannelType>(channel)) {}

ZYMRadioMediaFormatChannel::~ZYMRadioMediaFormatChannel() = default;

QString ZYMRadioMediaFormatChannel::theClass() const { return textWith_stdstring(channel_->mClass); }
QString ZYMRadioMediaFormatChannel::theDescription() const { return textWith_LocString(channel_->mDesc); }
QString ZYMRadioMediaFormatChannel::theProto() const { return textWith_stdstring(channel_->mProto); }
QString ZYMRadioMediaFormatChannel::theMime() const { return textWith_stdstring(channel_->mMime); }
QString ZYMRadioMediaFormatChannel::theCodec() const { return textWith_stdstring(channel_->mCodec); }
int ZYMRadioMediaFormatChannel::theBitrate() const { return channel_->mBitRate; }
int ZYMRadioMediaFormatChannel::theAverageBitRate() const { return channel_->mAvgBitRate; }
int ZYMRadioMediaFormatChannel::theVbr() const { return channel_->mVBR; }
float ZYMRadioMediaFormatChannel::theChannels() const { return channel_->mChannels; }

// --- ZYMRadioMediaFormat ---

ZYMRadioMediaFormat::ZYMRadioMediaFormat(const DMRadio3_MediaFormatType& format)
    : format_(std::make_unique<DMRadio3_MediaFormatType>(format)) {
    channels_.reserve(format_->mChannels.size());
    for (const auto& channel : format_->mChannels)
        channels_.push_back(std::make_shared<const ZYMRadioMediaFormatChannel>(channel));
}

ZYMRadioMediaFormat::~ZYMRadioMediaFormat() = default;

QString ZYMRadioMediaFormat::theMediaFormatID() const { return textWith_stdstring(format_->mMediaFormatId.GetValue()); }
QString ZYMRadioMediaFormat::theMime() const { return textWith_stdstring(format_->mMime); }
QString ZYMRadioMediaFormat::theDescription() const { return textWith_LocString(format_->mDesc); }

std::shared_ptr<const ZYMRadioMediaFormatChannel> ZYMRadioMediaFormat::theBestChannel() const {
    std::shared_ptr<const ZYMRadioMediaFormatChannel> best;
    for (const auto& channel : channels_)
        if (!best || channel->theBitrate() > best->theBitrate()) best = channel;
    return best;
}

QString ZYMRadioMediaFormat::description() const { return ZYMDefaultDescription("ZYMRadioMediaFormat", this); }

bool ZYMRadioMediaFormat::isEqual(const ZYMModelObject& other) const {
    if (typeid(other) != typeid(ZYMRadioMediaFormat)) return false;
    return static_cast<const ZYMRadioMediaFormat&>(other).theMediaFormatID() == theMediaFormatID();
}

// --- ZYMRadioStationFormat ---

ZYMRadioStationFormat::ZYMRadioStationFormat(const DMRadio3_StationFormatType& format)
    : format_(std::make_unique<DMRadio3_StationFormatType>(format)) {}

ZYMRadioStationFormat::~ZYMRadioStationFormat() = default;

QString ZYMRadioStationFormat::formatID() const { return textWith_stdstring(format_->mMediaFormatId.GetValue()); }
QString ZYMRadioStationFormat::progID() const { return textWith_stdstring(format_->mProgId.GetValue()); }

int ZYMRadioStationFormat::bitRate() const {
    const auto best = mediaFormat_ ? mediaFormat_->theBestChannel() : nullptr;
    return best ? best->theBitrate() : 0;
}

QString ZYMRadioStationFormat::description() const {
    return QStringLiteral("<ZYMRadioStationFormat ") + ZYMAddressText(this) + QStringLiteral("> formatID=\"") +
           formatID() + u'"';
}

int ZYMRadioStationFormat::compare(const ZYMRadioStationFormat& other) const {
    const int c = formatID().compare(other.formatID());
    return c < 0 ? -1 : c > 0 ? 1 : 0;
}

ZYMCodecRanking::Key ZYMRadioStationFormat::priorityKey(const ZYMCodecRanking& ranking) const {
    if (!mediaFormat_) return ZYMCodecRanking::keyWithoutMediaFormat();
    const auto best = mediaFormat_->theBestChannel();
    if (!best) return ZYMCodecRanking::keyWithoutChannels();
    return ranking.key(best->theCodec(), best->theBitrate());
}

int ZYMRadioStationFormat::priorityCompare(const ZYMRadioStationFormat& other, const ZYMCodecRanking& ranking) const {
    return ZYMCodecRanking::compare(priorityKey(ranking), other.priorityKey(ranking));
}

int ZYMRadioStationFormat::priorityCompare(const ZYMRadioStationFormat& other) const {
    return priorityCompare(other, *ZYMCodecRanking::shared());
}

int ZYMRadioStationFormat::bandwidthCompare(const ZYMRadioStationFormat& other) const {
    const auto mine = mediaFormat_ ? mediaFormat_->theBestChannel() : nullptr;
    const auto theirs = other.mediaFormat_ ? other.mediaFormat_->theBestChannel() : nullptr;
    if (!mine || !theirs) return 0;
    if (mine->theBitrate() < theirs->theBitrate()) return -1;
    if (mine->theBitrate() > theirs->theBitrate()) return 1;
    return 0;
}

QStringList ZYMRadioStationFormat::codecOrderArray() { return ZYMCodecRanking::shared()->codecOrder(); }

QVariantMap ZYMRadioStationFormat::codecComparisonTable() { return ZYMCodecRanking::shared()->comparisonTable(); }

ZYMRadioStationFormat::List ZYMRadioStationFormat::sortedByPriority(List formats) {
    return sortedByPriority(std::move(formats), *ZYMCodecRanking::shared());
}

ZYMRadioStationFormat::List ZYMRadioStationFormat::sortedByPriority(List formats, const ZYMCodecRanking& ranking) {
    struct Entry {
        ZYMCodecRanking::Key key;
        QString formatID, progID;
        std::shared_ptr<ZYMRadioStationFormat> format;
    };
    std::vector<Entry> entries;
    entries.reserve(formats.size());
    for (auto& f : formats) {
        if (!f) continue;
        entries.push_back({f->priorityKey(ranking), f->formatID(), f->progID(), std::move(f)});
    }
    std::stable_sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) {
        if (const int c = ZYMCodecRanking::compare(a.key, b.key)) return c < 0;
        if (const int c = a.formatID.compare(b.formatID)) return c < 0;
        return a.progID.compare(b.progID) < 0;
    });
    List sorted;
    sorted.reserve(entries.size());
    for (auto& e : entries)
        sorted.push_back(std::move(e.format));
    return sorted;
}
