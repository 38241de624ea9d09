#pragma once

// Makes the one statistics store of the process at start-up and hands it out. Set-up
// restores the previous run's persistent values, uploads the reports left by earlier runs
// to the user default "statistics_url" (none is shipped: without it nothing is sent), and
// decides this launch's first-launch or sampled report.

#include "app/support/MachineFacts.h"
#include "app/support/PhoneHomeUploader.h"

#include <QString>

#include <functional>
#include <memory>

class Clock;
class PhoneHomeServices;
class UserDefaults;

class PhoneHomeController {
public:
    // What set-up takes from the platform; every member left empty means the real one.
    struct Environment {
        UserDefaults* defaults = nullptr;
        const Clock* clock = nullptr;
        std::function<long()> random;
        MachineFactsSource machineFacts;
        std::unique_ptr<PhoneHomeUploader> uploader;
    };

    // Once per process; later calls do nothing.
    static void setupPhoneHome(const QString& directory, int minorVNum, float reportingRate);
    static void setupPhoneHome(const QString& directory, int minorVNum, float reportingRate, Environment environment);
    // Null before set-up.
    static PhoneHomeServices* sharedPhoneHome();
    static void registerPreferenceDefaults(UserDefaults& defaults, float rate);

    // Forgets the store as a normal end of the process would (its lock file goes), so a
    // test can stand for the next start.
    static void shutdownForTesting();
};
