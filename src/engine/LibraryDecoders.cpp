#include "engine/DecoderWrapper.h"

namespace Amp {

// The decoder libraries' adapters come in with the libraries.
AudioDecoder* CreateLibraryDecoder(uint32_t) { return nullptr; }

}  // namespace Amp
