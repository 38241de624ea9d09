// AudioSpecificConfig and GASpecificConfig.
#include "codecs/aacplus/StreamConfig.h"

#include "codecs/aacplus/TransportCommon.h"

namespace aacplus {

using transport::rateOfIndex;

namespace {

int readRate(BitReader& r, int& index) {
    index = int(r.read(4));
    if (index == 15) {
        const uint32_t hi = r.read(16);
        return int((hi << 8) | r.read(8));
    }
    return rateOfIndex(index);
}

}  // namespace

int parseGaSpecificConfig(AudioSpecificConfig& asc, BitReader& r, int channelConfiguration, int audioObjectType,
                          int64_t start) {
    asc.frameLengthFlag = int(r.read(1));
    asc.dependsOnCoreCoder = int(r.read(1));
    asc.coreCoderDelay = asc.dependsOnCoreCoder ? int(r.read(14)) : 0;
    asc.extensionFlag = int(r.read(1));
    if (channelConfiguration == 0) parseProgramConfig(asc.pce, r, nullptr, start);
    if (asc.extensionFlag) {
        if (audioObjectType == 22) {
            asc.numOfSubFrame = int(r.read(5));
            asc.layerLength = int(r.read(11));
        }
        if (audioObjectType == 17 || audioObjectType == 19 || audioObjectType == 20 || audioObjectType == 21 ||
            audioObjectType == 23) {
            asc.sectionDataResilience = int(r.read(1));
            asc.scalefactorDataResilience = int(r.read(1));
            asc.spectralDataResilience = int(r.read(1));
        }
        asc.extensionFlag3 = int(r.read(1));
        if (asc.extensionFlag3) return kCoreSyntax;
    }
    return kCoreOk;
}

int parseAudioSpecificConfig(AudioSpecificConfig& asc, BitReader& r, int64_t bitsAvailable) {
    const int64_t start = r.position();
    auto budget = [&] { return bitsAvailable < 0 ? int64_t(-1) : bitsAvailable - (r.position() - start); };
    asc.sbrPresentFlag = -1;
    asc.psPresentFlag = -1;
    asc.extensionAudioObjectType = 0;
    asc.audioObjectType = int(r.read(5));
    asc.samplingFrequency = readRate(r, asc.samplingFrequencyIndex);
    asc.channelConfiguration = int(r.read(4));
    if (asc.audioObjectType == 5 || asc.audioObjectType == 29) {
        asc.extensionAudioObjectType = 5;
        asc.sbrPresentFlag = 1;
        asc.psPresentFlag = asc.audioObjectType == 29 ? 1 : -1;
        asc.extensionSamplingFrequency = readRate(r, asc.extensionSamplingFrequencyIndex);
        asc.audioObjectType = int(r.read(5));
    }
    if (asc.audioObjectType != 1 && asc.audioObjectType != 2) return kCoreUnsupportedProfile;
    if (int err = parseGaSpecificConfig(asc, r, asc.channelConfiguration, asc.audioObjectType, start)) return err;
    asc.frameLength = asc.frameLengthFlag ? 960 : 1024;

    if (budget() >= 16 && asc.extensionAudioObjectType != 5 && r.peek(11) == 0x2B7) {
        r.read(11);
        asc.extensionAudioObjectType = int(r.read(5));
        if (asc.extensionAudioObjectType == 5) {
            asc.sbrPresentFlag = int(r.read(1));
            if (asc.sbrPresentFlag == 1) {
                asc.extensionSamplingFrequency = readRate(r, asc.extensionSamplingFrequencyIndex);
                if (budget() >= 12 && r.peek(11) == 0x548) {
                    r.read(11);
                    asc.psPresentFlag = int(r.read(1));
                }
            } else {
                asc.extensionSamplingFrequencyIndex = asc.samplingFrequencyIndex;
                asc.extensionSamplingFrequency = asc.samplingFrequency;
                asc.psPresentFlag = 0;
            }
        }
    }
    if (asc.sbrPresentFlag == 1 && asc.extensionSamplingFrequency != asc.samplingFrequency &&
        asc.extensionSamplingFrequency != 2 * asc.samplingFrequency)
        return kCoreBadSbrRate;
    return kCoreOk;
}

}  // namespace aacplus
