// LOAS framing and the LATM StreamMuxConfig / AudioMuxElement.
#include "codecs/aacplus/StreamConfig.h"

#include "codecs/aacplus/ChannelMapping.h"
#include "codecs/aacplus/TransportCommon.h"

namespace aacplus {

using transport::indexForRate;

int readLoasHeader(BitReader& r) {
    r.read(11);
    return int(r.read(13));
}

int parseStreamMuxConfig(LatmMuxConfig& mux, BitReader& r) {
    mux.audioMuxVersion = int(r.read(1));
    if (mux.audioMuxVersion == 1) return kCoreSyntax;
    mux.allStreamsSameTimeFraming = int(r.read(1));
    mux.numSubFrames = int(r.read(6)) + 1;
    if (mux.numSubFrames != 1) return kCoreSyntax;
    mux.numProgram = int(r.read(4)) + 1;
    int streamCount = 0;
    const AudioSpecificConfig* previous = nullptr;
    for (int prog = 0; prog < mux.numProgram; ++prog) {
        mux.numLayer = int(r.read(3)) + 1;
        for (int lay = 0; lay < mux.numLayer; ++lay) {
            LatmLayer& layer = mux.layers[prog][lay];
            layer.streamIndex = streamCount++;
            bool own = true;
            if (prog != 0 || lay != 0) {
                mux.useSameConfig = int(r.read(1));
                own = !mux.useSameConfig || !previous;
            }
            if (own) {
                if (int err = parseAudioSpecificConfig(layer.asc, r, -1)) return err;
            } else {
                layer.asc = *previous;
            }
            previous = &layer.asc;
            if (layer.asc.audioObjectType != 2) return kCoreUnsupportedProfile;
            layer.frameLengthType = int(r.read(3));
            if (layer.frameLengthType != 0) return kCoreSyntax;
            layer.latmBufferFullness = int(r.read(8));
        }
        // Programs may differ in layer count; the payload lengths need each program's own
        // (the single numLayer field holds only the last program's).
        mux.programLayers[prog] = mux.numLayer;
    }
    mux.otherDataPresent = int(r.read(1));
    mux.otherDataLenBits = 0;
    if (mux.otherDataPresent) {
        bool escape = true;
        while (escape) {
            escape = r.read(1) != 0;
            const int64_t byte = r.read(8);
            // Saturate: a run of escape bytes would otherwise overflow.
            mux.otherDataLenBits =
                mux.otherDataLenBits >= (int64_t(1) << 40) ? mux.otherDataLenBits : (mux.otherDataLenBits << 8) + byte;
            if (r.overran()) break;
        }
    }
    mux.crcCheckPresent = int(r.read(1));
    mux.crcCheckSum = mux.crcCheckPresent ? int(r.read(8)) : 0;
    return kCoreOk;
}

int parseAudioMuxElementHeader(LatmMuxConfig& mux, BitReader& r) {
    if (mux.muxConfigPresent) {
        mux.useSameStreamMux = int(r.read(1));
        if (!mux.useSameStreamMux) {
            if (int err = parseStreamMuxConfig(mux, r)) {
                // A refused configuration must not leave a half-read one in use.
                mux.numSubFrames = 0;
                return err;
            }
        }
    }
    if (mux.audioMuxVersion != 0 || mux.numSubFrames == 0) {
        mux.muxHeaderRead = true;
        return kCoreOk;
    }
    if (mux.allStreamsSameTimeFraming != 1) return kCoreSyntax;
    for (int prog = 0; prog < mux.numProgram; ++prog) {
        for (int lay = 0; lay < mux.programLayers[prog]; ++lay) {
            LatmLayer& layer = mux.layers[prog][lay];
            if (layer.frameLengthType != 0) return kCoreSyntax;
            int64_t bytes = 0;
            uint32_t tmp;
            do {
                tmp = r.read(8);
                bytes += tmp;
            } while (tmp == 255 && !r.overran());
            layer.payloadBits = bytes * 8;
        }
    }
    mux.muxHeaderRead = true;
    return kCoreOk;
}

int skipLatmOtherData(LatmMuxConfig& mux, BitReader& r) {
    if (!mux.otherDataPresent) return kCoreOk;
    if (mux.audioMuxVersion != 0) return kCoreSyntax;
    if (mux.otherDataLenBits > r.bitsLeft()) return kCoreNeedMoreInput;
    r.skip(mux.otherDataLenBits);
    return kCoreOk;
}

void applyMuxConfig(const LatmMuxConfig& mux, DecoderStreamInfo& info, bool implicitSbr, int sbrDownsampleRate,
                    int downmixMode) {
    for (int prog = 0; prog < mux.numProgram && prog < 16; ++prog) {
        info.workProgram = prog;
        aacPlusProgramInfo& p = info.info.programs[prog];
        const AudioSpecificConfig& asc = mux.layers[prog][0].asc;
        const int rate = asc.samplingFrequency;
        const int index = indexForRate(rate);
        if (index < 15) {
            info.samplingRate = rate;
            info.samplingFrequencyIndex = index;
            p.coreSampleRate = rate;
            info.mpegVersion = 2;
            if (asc.audioObjectType == 2) p.profile = kAacPlusProfileMpeg4Lc;
        }
        const bool downsample = sbrDownsampleRate > 0 && sbrDownsampleRate <= p.coreSampleRate;
        bool sbrUp = false;
        if (asc.sbrPresentFlag == 1) {
            p.sampleRate = asc.extensionSamplingFrequency;
            const bool single = asc.extensionSamplingFrequency == asc.samplingFrequency || downsample;
            p.frameSize = single ? asc.frameLength : asc.frameLength * 2;
            p.sbrActive = 1;
            sbrUp = true;
        } else {
            p.sampleRate = rate;
            p.frameSize = asc.frameLength;
            p.sbrActive = 0;
            if (implicitSbr && p.coreSampleRate < 32000) {
                p.sampleRate = downsample ? rate : rate * 2;
                p.frameSize = downsample ? asc.frameLength : asc.frameLength * 2;
                sbrUp = true;
            }
        }

        int config = asc.channelConfiguration;
        if (config == 0) {
            ProgramConfig pce = asc.pce;
            pce.elementInstanceTag = prog;       // the record describes this program
            (void)programFromConfig(info, pce);  // a bad PCE rate keeps the config's own rate
            p.channelMode = 0;
            if (pce.valid && pce.totalChannels() == 1 && pce.frontChannels == 1) config = 1;
        }
        auto layout = [&](int mode, int front, int side, int back, int lfe, int channels) {
            p.channelMode = mode;
            p.frontChannels = front;
            p.sideChannels = side;
            p.backChannels = back;
            p.lfeChannels = lfe;
            p.numChannels = channels;
            p.programChannels = channels;
        };
        switch (config) {
        case 1:
            if (asc.psPresentFlag == 1)
                layout(3, 1, 0, 0, 0, 2);
            else if (asc.psPresentFlag == 0 || asc.sbrPresentFlag == 0)
                layout(1, 1, 0, 0, 0, 1);
            else if (sbrUp)
                layout(0, 1, 0, 0, 0, 2);
            else
                layout(0, 1, 0, 0, 0, 0);
            p.programChannels = 1;
            break;
        case 2: layout(2, 2, 0, 0, 0, 2); break;
        case 3: layout(0, 3, 0, 0, 0, 3); break;
        case 4: layout(6, 3, 0, 1, 0, 4); break;
        case 5: layout(7, 3, 0, 2, 0, 5); break;
        case 6: layout(8, 3, 0, 2, 1, 6); break;
        case 7: layout(0, 3, 2, 2, 1, 8); break;
        default: break;
        }
        if (p.numChannels > 0 && info.downmixKind == kDownmixUndecided) decideDownmix(info, p, downmixMode);
        info.markValid(p);
    }
    info.workProgram = info.info.currentProgram;
}

}  // namespace aacplus
