#include "app/ui/ApplicationActions.h"

#include "app/foundation/ServiceLayerError.h"

namespace ApplicationActions {

namespace {
Observer& observer() {
    static Observer o;
    return o;
}
}  // namespace

Observer setObserver(Observer o) {
    Observer previous = std::move(observer());
    observer() = std::move(o);
    return previous;
}

void send(const QString& action, QObject* sender, const std::function<void()>& run) {
    Guarded("application action", [&] {
        if (auto o = observer()) o(action, sender);
        if (run) run();
    });
}

}  // namespace ApplicationActions
