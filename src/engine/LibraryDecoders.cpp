#include "engine/CAMP3Decoder.h"
#include "engine/VLBDecoder.h"
#include "engine/aacPlusAdapter.h"
#include "engine/DecoderWrapper.h"
#include "engine/QintPacket.h"

namespace Amp {

AudioDecoder* CreateLibraryDecoder(uint32_t code) {
    switch (code) {
    case kCodecMP3: return new CAMP3Decoder();
    case kCodecVLB: return new VLBDecoder();
    case kCodecAACPlus: return new aacPlusDecoder();
    default: return nullptr;
    }
}

}  // namespace Amp
