#pragma once

// How the radio directory's service object reports to the application: validity, the
// end of every request, and the verdict on a failed call. Every callback comes on the
// main thread. The token (null when no pending request matched the call) is deleted
// right after the callback returns; lists are valid only during the callback and are
// empty on failure.

#include <string>
#include <vector>

#include "dms/core/DMSIFMethod.h"
#include "dms/radio3/DMRadio3Types.h"

class DMRadio3ServiceListener {
public:
    virtual void ServiceDidBecomeValid() = 0;
    virtual void ServiceWillBecomeInvalid() = 0;
    virtual void ServiceDidBecomeInvalid() = 0;
    // A call has failed: 0 keeps the service, 1 invalidates it and forgets its discovery
    // for the user, 2 (and any other value) also resets the user's whole sign-on. This
    // default answers 2.
    virtual int ShouldMethodFailureInvalidateService(DMServiceRequestToken* token);
    // "ListCategories" and "ListStations" ended; the lists are read back from the service.
    virtual void GenresUpdated(bool updated, DMServiceRequestToken* token, bool success) = 0;
    virtual void StationsUpdated(bool updated, DMServiceRequestToken* token, bool success) = 0;
    virtual void RequestForStationsInfoCompleted(const std::vector<DMRadio3_StationInfoType>& stations,
                                                 DMServiceRequestToken* token, bool success) = 0;
    virtual void RequestForStationsStateCompleted(const std::vector<DMRadio3_StationStateType>& states,
                                                  DMServiceRequestToken* token, bool success) = 0;
    virtual void RequestForMediaFormatsCompleted(const std::vector<DMRadio3_MediaFormatType>& formats,
                                                 DMServiceRequestToken* token, bool success) = 0;
    // refId is the program id the URLs were asked for, passed on failure too.
    virtual void RequestForURLsCompleted(const std::string& refId, const std::vector<std::string>& urls,
                                         DMServiceRequestToken* token, bool success) = 0;
    // maxPresets is 0 on failure.
    virtual void RequestForMaxPresetsCompleted(int maxPresets, DMServiceRequestToken* token, bool success) = 0;
    // Station ids in preset order.
    virtual void RequestForPresetsCompleted(const std::vector<DMSIF_IDType>& presets, DMServiceRequestToken* token,
                                            bool success) = 0;
    virtual void StorePresetsCompleted(DMServiceRequestToken* token, bool success) = 0;

protected:
    // Never deleted through this interface.
    ~DMRadio3ServiceListener() = default;
};
