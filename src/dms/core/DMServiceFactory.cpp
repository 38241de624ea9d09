#include "dms/core/DMServiceFactory.h"

#include <map>

#include "dms/core/DMGenericService.h"

namespace {

struct Registration {
    std::string urn;
    DMServiceControllerMaker controllerMaker;
    DMServiceFacadeMaker facadeMaker;
};

std::map<EServiceType, Registration>& Registry() {
    static std::map<EServiceType, Registration> registry;
    return registry;
}

}  // namespace

void DMServiceFactory::Register(EServiceType type, DMServiceControllerMaker controllerMaker,
                                DMServiceFacadeMaker facadeMaker) {
    Registry()[type] = Registration{::ServiceTypeURN(type), std::move(controllerMaker), std::move(facadeMaker)};
}

void DMServiceFactory::Unregister(EServiceType type) { Registry().erase(type); }

bool DMServiceFactory::IsRegistered(EServiceType type) { return Registry().count(type) != 0; }

DMSIFService* DMServiceFactory::CreateController(const std::string& serviceTypeURN, DMSOAPElementType* resourceOffering,
                                                 DMSOAPElementType* credentials, DMSIFServiceListener* listener) {
    if (serviceTypeURN.empty()) {
        return nullptr;
    }
    for (const auto& entry : Registry()) {
        if (entry.second.urn == serviceTypeURN && entry.second.controllerMaker) {
            return entry.second.controllerMaker(resourceOffering, credentials, listener);
        }
    }
    return nullptr;
}

DMGenericService* DMServiceFactory::CreateFacade(EServiceType type, const std::string& userName,
                                                 DMSIFService* controller, DMServicesProvider* provider) {
    auto found = Registry().find(type);
    if (!controller || found == Registry().end() || !found->second.facadeMaker) {
        return nullptr;
    }
    return found->second.facadeMaker(userName, controller, provider);
}
