#include "engine/PlayStreamFactory.h"

#include <utility>

#include "engine/PlayStream.h"

namespace Amp {

namespace {

PlayStreamFactory& Factory() {
    static PlayStreamFactory factory = CreatePlayStream;
    return factory;
}

}  // namespace

PlayStreamFactory SetPlayStreamFactory(PlayStreamFactory factory) {
    return std::exchange(Factory(), std::move(factory));
}

const PlayStreamFactory& GetPlayStreamFactory() { return Factory(); }

}  // namespace Amp
