#include "engine/PlayStreamFactory.h"

#include <utility>

namespace Amp {

namespace {

// Default factory: none yet, so a Play fails its set-up cleanly until the stream
// thread is wired in here.
PlayStreamFactory& Factory() {
    static PlayStreamFactory factory;
    return factory;
}

}  // namespace

PlayStreamFactory SetPlayStreamFactory(PlayStreamFactory factory) {
    return std::exchange(Factory(), std::move(factory));
}

const PlayStreamFactory& GetPlayStreamFactory() { return Factory(); }

}  // namespace Amp
