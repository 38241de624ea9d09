// Error concealment of one channel. Spectra leave one frame late, so that a lost frame can
// be bridged from its neighbours on both sides; runs of losses fade out and mute.
#pragma once

#include "codecs/aacplus/Ics.h"

namespace aacplus {

class Concealment {
public:
    explicit Concealment(IcsStorage* storage) : storage_(storage) { Reset(); }

    void Reset();
    // For a frame that decoded: `channel` (built in the storage) is replaced by the object
    // to synthesize now; ics receives its window fields.
    decapl60* ConcealGoodFrame(decapl60* channel, IcsInfo& ics);
    // For a missing or damaged frame: builds the substitute in the storage.
    decapl60* ConcealLostFrame(IcsInfo& ics);

    float gain() const { return gain_; }
    int fadeState() const { return fadeState_; }
    int lostCount() const { return lost_; }

private:
    void advanceLost();
    void advanceGood();
    decapl60* bridge(IcsInfo& ics);
    float nextRandom(bool crossFade);
    void capture(decapl60* channel, const IcsInfo& ics);

    float stored_[1024];
    int storedSeq_ = 0;
    int storedShape_ = 0;
    float incoming_[1024];
    int inSeq_ = 0;
    int inShape_ = 0;
    int lost_ = 0;
    int fadeCounter_ = 0;
    int fadeState_ = 0;  // 0 normal, 1 concealing, 2 muted, 3 fading in
    float gain_ = 1.0f;
    int randomIndex_ = 0;
    IcsStorage* storage_;
};

}  // namespace aacplus
