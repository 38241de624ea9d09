// Decoder core of the VLB library: the raw data blocks of one ADTS frame.
#pragma once

#include <cstdint>

#include "codecs/vlb/AacException.h"
#include "codecs/vlb/AacStreamInfo.h"
#include "codecs/vlb/BitSequence.h"
#include "codecs/vlb/ChannelElement.h"
#include "codecs/vlb/VlbExtension.h"

class AudioIOControl;

// ADIF header fields and the program configurations met in the stream (stored, unused).
struct CProgramConfig {
    CBitSequence elementInstanceTag{4}, objectType{2}, samplingFrequencyIndex{4}, numFront{4}, numSide{4}, numBack{4},
        numLfe{2}, numAssocData{3}, numValidCc{4}, monoMixdownPresent{1}, monoMixdownElement{4},
        stereoMixdownPresent{1}, stereoMixdownElement{4}, matrixMixdownIdxPresent{1}, matrixMixdownIdx{2},
        pseudoSurroundEnable{1};
    uint8_t frontIsCpe[15] = {}, frontTag[15] = {}, sideIsCpe[15] = {}, sideTag[15] = {};
    uint8_t backIsCpe[15] = {}, backTag[15] = {}, lfeTag[3] = {}, assocTag[7] = {};
    uint8_t ccIsIndSw[15] = {}, ccTag[15] = {};
    uint32_t commentBytes = 0;
    uint8_t comment[64] = {};
    unsigned frontChannels = 0, sideChannels = 0, backChannels = 0, totalChannels = 0;
    bool read = false;
};

struct CAdifHeader {
    CBitSequence copyrightIdPresent{1}, originalCopy{1}, home{1}, bitstreamType{1}, bitrate{23},
        numProgramConfigElements{4};
    CProgramConfig program[16];
    // Channel configuration lock, kept with program configuration 0.
    bool locked = false;
    uint32_t lockedType = 0;  // 0 single channel, 1 channel pair
    uint32_t lockedTag = 0;
};

struct CDataStream {
    CBitSequence elementInstanceTag{4}, dataByteAlignFlag{1}, count{8}, escCount{8};
    uint32_t length = 0;
    uint8_t bytes[512] = {};
};

class CAacDecoder {
public:
    struct EUnimplemented : vlb::UnimplementedError {};
    struct EIllegalProfile : vlb::IllegalProfileError {};

    explicit CAacDecoder(CVlbBitStream& bs);
    // Without an output: the parse pass (consumes the frame, records CRC regions); with one:
    // the decode pass, which delivers the samples.
    void DecodeFrame(AudioIOControl* out, AacStreamInfo& info);

    bool LockTest(uint32_t tag, uint32_t type);
    void ReleaseLock();
    bool ExtensionFound() const { return extensionFound_; }
    // True when the last decode pass met a channel element the lock did not accept.
    bool LockRefused() const { return lockRefused_; }
    const VlbExtensionState& Extension() const { return extension_; }
    const CAdifHeader& ProgramConfig() const { return adif_; }
    const CDataStream& DataStream() const { return dataStream_; }

private:
    enum class Last { None, Single, Pair };
    void PrepareExtension(CChannelElement& element);
    void ReadProgramConfig();
    void ReadDataStream();
    void ReadFill(Last last, bool commit);

    bool extensionAllowed_ = true;
    bool extensionFound_ = false;
    bool extensionPrepared_ = false;
    bool lockRefused_ = false;
    VlbExtensionState extension_;
    CVlbBitStream& bs_;
    CSingleChannel single_;
    CChannelPair pair_;
    CSingleChannel lfe_;
    CDataStream dataStream_;
    CAdifHeader adif_;
};
