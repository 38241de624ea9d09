#pragma once

// Where the service types plug in. Each service subsystem registers, for its type code,
// how to make its controller from a discovery offering and its facade from that
// controller; discovery and the per-user records build services only through here.
// Register at start-up on the main thread, before the first service request.

#include <functional>
#include <string>

#include "dms/core/DMSIFMethod.h"

class DMGenericService;
class DMServicesProvider;
class DMSIFService;
class DMSIFServiceListener;
class DMSOAPElementType;

// Makes a controller holding its own copies of offering and credentials.
using DMServiceControllerMaker = std::function<DMSIFService*(
    DMSOAPElementType* resourceOffering, DMSOAPElementType* credentials, DMSIFServiceListener* listener)>;
// Makes the facade and takes the controller over; returns null (leaving the controller
// to the caller) when the controller is not of the class the facade needs.
using DMServiceFacadeMaker = std::function<DMGenericService*(const std::string& userName, DMSIFService* controller,
                                                             DMServicesProvider* provider)>;

class DMServiceFactory {
public:
    // The service URN of the registration is ServiceTypeURN (type). A later
    // registration of the same type replaces the earlier one.
    static void Register(EServiceType type, DMServiceControllerMaker controllerMaker, DMServiceFacadeMaker facadeMaker);
    static void Unregister(EServiceType type);
    static bool IsRegistered(EServiceType type);

    // A new controller for the service type URN (exact comparison); null when none is
    // registered for it.
    static DMSIFService* CreateController(const std::string& serviceTypeURN, DMSOAPElementType* resourceOffering,
                                          DMSOAPElementType* credentials, DMSIFServiceListener* listener);
    // A new facade owning controller, or null (controller still the caller's).
    static DMGenericService* CreateFacade(EServiceType type, const std::string& userName, DMSIFService* controller,
                                          DMServicesProvider* provider);
};
