// aacPlus decoder: MPEG-4 AAC (LC, Main) with SBR and parametric stereo, pushed bytes in,
// one frame of interleaved PCM out per decode call. The whole outside of the library.
//
// Contract:
//  - A handle is used by one thread at a time; the library takes no locks. Two handles must
//    not decode at the same time (SBR/PS keep process-wide tables).
//  - Every function checks the handle (null or not one of ours: 0x1101; the getters return
//    null; aacPlusDecoderClose does nothing).
//  - Feed offers bytes; it takes what fits into the 8192-byte input store and says how many
//    in desc.consumed; offer the rest again later. A feed of length 0 announces the end.
//  - Decode returns one frame: 0 with desc.written bytes of PCM, 0x1105 when it needs more
//    input, 0x1106 at the end of stream. A too-small PCM buffer gives 0x1104 with the
//    shortfall in desc.needed and leaves the frame in the input (see aacPlusStreamDecode).
#pragma once

#include <cstdint>

#include "codecs/aacplus/aacPlusTypes.h"

struct aacPlusDecoder;
using aacPlusHandle = aacPlusDecoder*;

// channels below 2 count as 2; above 8: 0x1103 and *handle null.
[[nodiscard]] int aacPlusDecoderOpen(aacPlusHandle* handle, int outputFormat, int channels);
[[nodiscard]] int aacPlusDecoderOpenWithConfig(aacPlusHandle* handle, int outputFormat, int concealment, int limiterOn,
                                               int lowPowerSbr, int implicitSbr, int sbrDownsampleRate,
                                               int adtsCrcAlways, int pnsOff, int reserved7, int reserved8,
                                               int maxChannels, int lfeChannels, int downmixMode, int downmixVariant);
// Edit in place, then call aacPlusDecoderSetConfig.
aacPlusConfig* aacPlusDecoderGetConfig(aacPlusHandle handle);
[[nodiscard]] int aacPlusDecoderSetConfig(aacPlusHandle handle);
// A snapshot that changes only inside feed and decode calls. The transport field may be set
// before the first decode to force a transport.
aacPlusStreamInfo* aacPlusDecoderGetStreamInfo(aacPlusHandle handle);
[[nodiscard]] int aacPlusStreamFeed(aacPlusHandle handle, const uint8_t* data, aacPlusInputDesc* desc);
// pcm holds samples of the output format (int16, float, or packed 24-bit); it may be null
// to decode without output. ancillary/ancillaryDesc receive data stream element bytes.
[[nodiscard]] int aacPlusStreamDecode(aacPlusHandle handle, void* pcm, aacPlusOutputDesc* desc, uint8_t* ancillary,
                                      aacPlusAncillaryDesc* ancillaryDesc);
void aacPlusDecoderClose(aacPlusHandle* handle);
