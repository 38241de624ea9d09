// Everything the decoder learns about a stream before decoding audio: the transport, where
// the next frame starts, and the configuration each transport carries (ADTS header, ADIF
// header, LATM StreamMuxConfig, AudioSpecificConfig, program_config_element).
// Header syntax is that of the MPEG-2/MPEG-4 AAC transports; this file records what the
// decoder keeps and what it refuses. All reading goes through BitReader; peeking is done
// on copies of the reader, and nothing reads outside the bound bytes. One source file per
// syntax: StreamConfigPce, -Asc, -Latm, -Adif and -Adts.cpp.
#pragma once

#include <cstdint>

#include "codecs/aacplus/BitReader.h"
#include "codecs/aacplus/CoreStatus.h"
#include "codecs/aacplus/Crc.h"
#include "codecs/aacplus/InputBuffer.h"
#include "codecs/aacplus/StreamInfo.h"

namespace aacplus {

enum Transport : int32_t {
    kTransportAuto = 0,
    kTransportRaw = 1,
    kTransportAdif = 2,
    kTransportAdts = 3,
    kTransportLatm = 4,
    kTransportLoas = 5,
};

// Syntax element ids of a raw data block.
enum ElementId : int {
    kIdSce = 0,
    kIdCpe = 1,
    kIdCce = 2,
    kIdLfe = 3,
    kIdDse = 4,
    kIdPce = 5,
    kIdFil = 6,
    kIdEnd = 7,
};

struct PceEntry {
    uint8_t isCpe = 0;  // cc_element_is_ind_sw for coupling entries
    uint8_t tag = 0;
};

struct ProgramConfig {
    bool valid = false;
    int elementInstanceTag = 0;
    int objectType = 0;
    int samplingFrequencyIndex = 0;
    int numLfe = 0;
    int numAssocData = 0;
    int numValidCc = 0;
    int monoMixdownPresent = 0;
    int monoMixdownElement = 0;
    int stereoMixdownPresent = 0;
    int stereoMixdownElement = 0;
    int matrixMixdownIdxPresent = 0;
    int matrixMixdownIdx = 0;
    int pseudoSurroundEnable = 0;
    int numFront = 0;
    int numSide = 0;
    int numBack = 0;
    PceEntry front[15];
    PceEntry side[15];
    PceEntry back[15];
    uint8_t lfeTag[15] = {};
    uint8_t assocTag[7] = {};
    PceEntry cc[15];
    int frontChannels = 0;
    int sideChannels = 0;
    int backChannels = 0;
    int commentBytes = 0;
    uint8_t comment[64] = {};

    int totalChannels() const { return numLfe + frontChannels + sideChannels + backChannels; }
    // Membership (always true for an invalid record).
    bool hasSingle(int tag) const;
    bool hasPair(int tag) const;
    bool hasLfe(int tag) const;
    // Same layout: object type, rate index, LFE/data/coupling counts, group counts.
    bool sameLayout(const ProgramConfig& other) const;
};

// Reads a program_config_element (the reader stands after id_syn_ele). Byte alignment of
// the comment field counts from `blockStart`. With `crc`, the element's bits are fed into it.
void parseProgramConfig(ProgramConfig& pce, BitReader& r, Crc* crc, int64_t blockStart);

struct FrameElement {
    int id = 0;
    int tag = 0;
};
// Every element the program names must occur in the frame: 0, or 0x1017 (record invalidated).
[[nodiscard]] int checkProgramMembership(ProgramConfig& pce, const FrameElement* elements, int count);

struct AudioSpecificConfig {
    int audioObjectType = 0;
    int samplingFrequencyIndex = 0;
    int samplingFrequency = 0;
    int extensionAudioObjectType = 0;
    int extensionSamplingFrequencyIndex = 0;
    int extensionSamplingFrequency = 0;
    int sbrPresentFlag = -1;
    int psPresentFlag = -1;
    int channelConfiguration = 0;
    int frameLength = 1024;
    // GASpecificConfig
    int frameLengthFlag = 0;
    int dependsOnCoreCoder = 0;
    int coreCoderDelay = 0;
    int extensionFlag = 0;
    int extensionFlag3 = 0;
    int numOfSubFrame = 0;
    int layerLength = 0;
    int sectionDataResilience = 0;
    int scalefactorDataResilience = 0;
    int spectralDataResilience = 0;
    ProgramConfig pce;
};

// bitsAvailable < 0: no budget (no backward-compatible SBR signalling is looked for).
[[nodiscard]] int parseAudioSpecificConfig(AudioSpecificConfig& asc, BitReader& r, int64_t bitsAvailable);
[[nodiscard]] int parseGaSpecificConfig(AudioSpecificConfig& asc, BitReader& r, int channelConfiguration,
                                        int audioObjectType, int64_t start);

struct LatmLayer {
    int frameLengthType = 0;
    int latmBufferFullness = 0;
    int streamIndex = 0;
    int64_t payloadBits = 0;
    AudioSpecificConfig asc;
};

struct LatmMuxConfig {
    bool muxConfigPresent = false;
    bool muxHeaderRead = false;
    int useSameStreamMux = 0;
    int audioMuxVersion = 0;
    int allStreamsSameTimeFraming = 0;
    int numSubFrames = 0;        // stored plus one
    int numProgram = 0;          // plus one
    int numLayer = 0;            // plus one, last program's
    int programLayers[16] = {};  // each program's own layer count
    int useSameConfig = 0;
    int otherDataPresent = 0;
    int64_t otherDataLenBits = 0;
    int crcCheckPresent = 0;
    int crcCheckSum = 0;
    LatmLayer layers[16][8];
};

// LOAS sync (11 bits) and audioMuxLengthBytes (13); returns the length.
int readLoasHeader(BitReader& r);
[[nodiscard]] int parseStreamMuxConfig(LatmMuxConfig& mux, BitReader& r);
[[nodiscard]] int parseAudioMuxElementHeader(LatmMuxConfig& mux, BitReader& r);
// Skips the other data after the payload: 0, 0x1003 or 0x1004.
[[nodiscard]] int skipLatmOtherData(LatmMuxConfig& mux, BitReader& r);
// Rebuilds the program records from the mux configuration; decides the downmix for the
// first program with channels.
void applyMuxConfig(const LatmMuxConfig& mux, DecoderStreamInfo& info, bool implicitSbr, int sbrDownsampleRate,
                    int downmixMode);

struct AdifHeader {
    int copyrightIdPresent = 0;
    int originalCopy = 0;
    int home = 0;
    int bitstreamType = 0;
    int bitrate = 0;
    int numProgramConfigElements = 0;  // as coded (one less than the count)
    int firstTag = 0;
};

// Looks for "ADIF" at the reader's position (on a copy).
bool detectAdif(const BitReader& r);
// Parses the header into `header` and the tags' slots of `slots` and advances the reader.
// Returns false when the input does not start with "ADIF".
[[nodiscard]] bool parseAdifHeader(AdifHeader& header, BitReader& r, ProgramConfig* slots);

// Program record of the program `pce` describes: 0 or 0x100D.
[[nodiscard]] int programFromConfig(DecoderStreamInfo& info, const ProgramConfig& pce);

// Finds the next ADTS or LOAS frame (transports 0, 3, 5). 0, 0x1002, 0x1003 or 0x1013.
// On 0, *transportOut is 3 or 5 and *crcOut the frame's CRC object or null.
[[nodiscard]] int synchronise(decapl84& input, DecoderStreamInfo& info, Crc** crcOut, int32_t* transportOut);

// Channels of a standard channel configuration (0 for 0 and reserved values).
int channelsOfConfiguration(int channelConfiguration);

}  // namespace aacplus
