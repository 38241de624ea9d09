#pragma once
// The support services of the program behind the interfaces of the application shell:
// usage statistics, the update check, the preferences and About windows, the power
// notices, the interface analytics and the ad panel. Tests of the shell use their own
// stand-ins.

#include <memory>

#include "app/ui/RadioAppController.h"

class ProgramServices {
public:
    ProgramServices();
    ~ProgramServices();
    ProgramServices(const ProgramServices&) = delete;
    ProgramServices& operator=(const ProgramServices&) = delete;

    // Fills in what the environment leaves empty; `application` is asked for the window
    // later, when a service needs it.
    void wire(AppEnvironment& environment, RadioAppController* const& application);
    // Makes the statistics store; the start-up's first step.
    static void setupPhoneHome();
    // The process is about to end: what the services keep is written.
    void applicationWillTerminate();

private:
    struct State;
    std::unique_ptr<State> state_;
};
