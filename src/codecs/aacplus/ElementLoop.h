// The element loop of a raw_data_block and the rendering of its channel elements: the
// part of the frame decoder that reads and decodes single channel, channel pair and LFE
// elements, takes SBR payloads from fill elements and stores data stream elements.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "codecs/aacplus/ChannelElements.h"
#include "codecs/aacplus/FrameElements.h"
#include "codecs/aacplus/SbrConfig.h"
#include "codecs/aacplus/StreamConfig.h"

namespace aacplus {

struct AncillarySink {
    uint8_t* buffer = nullptr;
    aacPlusAncillaryDesc* desc = nullptr;
    int* lastTag = nullptr;  // -1 at the start of a decode call
};

class ElementDecoder {
public:
    explicit ElementDecoder(BitReader* reader) : reader_(reader) {
        for (auto& kind : owner_)
            for (int& o : kind)
                o = -1;
    }

    // maxChannels single channel elements, maxChannels / 2 pairs, lfeChannels LFE elements.
    // 0 or 0x1001 (the counts then hold what was made).
    [[nodiscard]] int configure(int maxChannels, int lfeChannels, bool pnsOn, bool concealment);

    // Reads the elements of a raw_data_block up to and including ID_END, after the leading
    // program configurations (already in fe). `program`: the active program or null (every
    // element belongs). Core status.
    [[nodiscard]] int readElements(const ElementContext& ctx, Crc* crc, FrameElements& fe, const ProgramConfig* program,
                                   const AncillarySink& sink, int64_t blockStart);

    // Decodes (or, for a damaged frame, conceals) the listed elements of the program into
    // `out` (interleaved, `stride` channels; null: no samples). Returns channels written.
    // `order`: a program configuration whose element order the output follows (null or
    // invalid: bit stream order).
    // SBR runs in each single channel and pair element after its core output; `sbr` tells
    // what came of it.
    struct SbrOutcome {
        float rateRatio = 1.0f;         // the elements' SBR rate ratio (1: core rate)
        bool parametricStereo = false;  // the first single channel element carries PS
    };
    int render(float* out, const FrameElements& fe, bool concealed, int stride, const ElementContext& ctx,
               bool sbrUpsampling, const SbrDecoderConfig& sbrConfig, SbrOutcome& sbr, const ProgramConfig* program,
               const ProgramConfig* order = nullptr);
    // Whether any element runs an SBR decoder (its output is then 2048 samples per channel
    // unless downsampled, whatever this frame signals).
    bool anySbrDecoder() const;

    int singleCount() const { return int(singles_.size()); }
    int pairCount() const { return int(pairs_.size()); }
    int lfeCount() const { return int(lfes_.size()); }
    decapl80* single(int i) { return singles_[size_t(i)].get(); }
    decapl63* pair(int i) { return pairs_[size_t(i)].get(); }

private:
    int readFill(decapl61* owner, Crc* crc);
    void readDataStream(Crc* crc, const AncillarySink& sink);
    decapl61* elementFor(int id, int index);
    // The object for an element of kind id with this tag: the one that read the tag before,
    // so that overlap and prediction follow the channel whatever order the elements come in.
    int objectFor(int id, int tag, const bool* usedThisFrame);
    int count(int id) const;

    BitReader* reader_;
    std::vector<std::unique_ptr<decapl80>> singles_;
    std::vector<std::unique_ptr<decapl63>> pairs_;
    std::vector<std::unique_ptr<decapl80>> lfes_;
    int owner_[4][16];  // per kind and tag: object index or -1
};

}  // namespace aacplus
