#pragma once

// The stream formats a station offers: a station format names a media format, which
// describes its audio channels. The station format also gives the order in which a
// station's formats are tried (priorityCompare, over the codec ranking).

#include "app/radio/ZYMCodecRanking.h"
#include "app/radio/ZYMModelObject.h"

#include <QString>
#include <QStringList>
#include <QVariantMap>

#include <memory>
#include <vector>

class DMRadio3_StationFormatType;
class DMRadio3_MediaFormatType;
class DMRadio3_MediaFormatChannelType;

// One channel of a media format. The texts are read from the directory's value on
// every call.
class ZYMRadioMediaFormatChannel {
public:
    explicit ZYMRadioMediaFormatChannel(const DMRadio3_MediaFormatChannelType& channel);
    ~ZYMRadioMediaFormatChannel();
    ZYMRadioMediaFormatChannel(const ZYMRadioMediaFormatChannel&) = delete;
    ZYMRadioMediaFormatChannel& operator=(const ZYMRadioMediaFormatChannel&) = delete;

    QString theClass() const;
    QString theDescription() const;
    QString theProto() const;
    QString theMime() const;
    QString theCodec() const;
    // Bits per second.
    int theBitrate() const;
    int theAverageBitRate() const;
    // -1 not stated, 0 constant, 1 variable.
    int theVbr() const;
    float theChannels() const;

private:
    std::unique_ptr<DMRadio3_MediaFormatChannelType> channel_;
};

class ZYMRadioMediaFormat : public ZYMModelObject {
public:
    using Channels = std::vector<std::shared_ptr<const ZYMRadioMediaFormatChannel>>;

    explicit ZYMRadioMediaFormat(const DMRadio3_MediaFormatType& format);
    ~ZYMRadioMediaFormat() override;
    ZYMRadioMediaFormat(const ZYMRadioMediaFormat&) = delete;
    ZYMRadioMediaFormat& operator=(const ZYMRadioMediaFormat&) = delete;

    QString theMediaFormatID() const;
    QString theMime() const;
    QString theDescription() const;
    // In the directory's order.
    const Channels& theChannels() const { return channels_; }
    // The highest bit rate, the first of equals; null without channels.
    std::shared_ptr<const ZYMRadioMediaFormatChannel> theBestChannel() const;

    QString description() const override;
    // Exactly a media format with an equal identifier.
    bool isEqual(const ZYMModelObject& other) const override;

private:
    std::unique_ptr<DMRadio3_MediaFormatType> format_;
    Channels channels_;
};

class ZYMRadioStationFormat : public ZYMModelObject {
public:
    explicit ZYMRadioStationFormat(const DMRadio3_StationFormatType& format);
    ~ZYMRadioStationFormat() override;
    ZYMRadioStationFormat(const ZYMRadioStationFormat&) = delete;
    ZYMRadioStationFormat& operator=(const ZYMRadioStationFormat&) = delete;

    QString formatID() const;
    // The program the station URL request names.
    QString progID() const;

    // Null until the radio service links it.
    const std::shared_ptr<const ZYMRadioMediaFormat>& mediaFormat() const { return mediaFormat_; }
    void setMediaFormat(std::shared_ptr<const ZYMRadioMediaFormat> format) { mediaFormat_ = std::move(format); }

    // The largest channel bit rate; 0 without a media format or channels.
    int bitRate() const;

    // "<ZYMRadioStationFormat 0x…> formatID=\"…\"".
    QString description() const override;

    // By format identifier: -1, 0, 1.
    int compare(const ZYMRadioStationFormat& other) const;

    // -1 when this format is tried first, 1 when the other is, 0 when neither comes
    // first. A strict weak ordering (see ZYMCodecRanking), so sorts over it are sound.
    int priorityCompare(const ZYMRadioStationFormat& other) const;
    int priorityCompare(const ZYMRadioStationFormat& other, const ZYMCodecRanking& ranking) const;
    ZYMCodecRanking::Key priorityKey(const ZYMCodecRanking& ranking) const;

    // By largest channel bit rate, lower first; 0 when either has no channels.
    int bandwidthCompare(const ZYMRadioStationFormat& other) const;
    int bandwidthReverseCompare(const ZYMRadioStationFormat& other) const { return other.bandwidthCompare(*this); }

    // The process's codec order and comparison table.
    static QStringList codecOrderArray();
    static QVariantMap codecComparisonTable();

    // The order formats are tried in: by priority, formats of equal priority by format
    // and program identifier, so the result does not depend on the order given.
    using List = std::vector<std::shared_ptr<ZYMRadioStationFormat>>;
    static List sortedByPriority(List formats);
    static List sortedByPriority(List formats, const ZYMCodecRanking& ranking);

private:
    std::unique_ptr<DMRadio3_StationFormatType> format_;
    std::shared_ptr<const ZYMRadioMediaFormat> mediaFormat_;
};
