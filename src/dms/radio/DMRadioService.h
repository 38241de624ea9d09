#pragma once

// The version-2 radio directory service the web-service core hands to the application
// for the type 'Rdio': a DMGenericService (user, endpoint, data cache) and the listener
// of its controller. Each ended call is turned into its request token's outcome, updates
// what the facade keeps (genre and station lists merged by id, station infos, time
// stamps, the cache items "Genres", "Stations" and "Stations_<id>") and is reported to
// one DMRadioServiceListener.
//
// A call whose output carries a SOAP fault code invalidates the service and resets the
// user's sign-on (the next request signs on again) before the listener hears of the
// failure; a failure without a fault only fails the call.
//
// Tokens: every Request* operation that sent its call returns a new token, which the
// facade deletes right after the call's callback (also for the two methods that are not
// reported, and for a cancelled call, which is not reported either). Main thread only.

#include <cstdint>
#include <list>
#include <map>
#include <string>

#include "dms/core/DMGenericService.h"
#include "dms/core/DMSIFServiceListener.h"
#include "dms/radio/DMRadioMethods.h"
#include "dms/radio/DMRadioServiceController.h"

class DMServicesProvider;

// Implemented by the application. Lists and values are valid during the call only; the
// token is the call's (null when none was registered) and is deleted after the call.
class DMRadioServiceListener {
public:
    virtual void ServiceDidBecomeValid() = 0;
    virtual void ServiceWillBecomeInvalid() = 0;
    virtual void ServiceDidBecomeInvalid() = 0;
    virtual void GenresUpdated(bool updated, DMServiceRequestToken* token, bool success) = 0;
    virtual void StationsUpdated(bool updated, DMServiceRequestToken* token, bool success) = 0;
    virtual void RequestForStationsInfoCompleted(const std::list<DMRadio_StationInfoType>* infos,
                                                 DMServiceRequestToken* token, bool success) = 0;
    virtual void RequestForStationsStateCompleted(const std::list<DMRadio_StationStateType>* states,
                                                  DMServiceRequestToken* token, bool success) = 0;
    virtual void RequestForURLsCompleted(const DMRadio_StationUrlType* urls, DMServiceRequestToken* token,
                                         bool success) = 0;
    virtual void RequestForMaxPresetsCompleted(int maxPresets, DMServiceRequestToken* token, bool success) = 0;
    virtual void RequestForPresetsCompleted(const std::list<DMRadio_PresetType>* presets, DMServiceRequestToken* token,
                                            bool success) = 0;
    virtual void StorePresetsCompleted(DMServiceRequestToken* token, bool success) = 0;

protected:
    ~DMRadioServiceListener() = default;
};

class DMRadioService : public DMGenericService, public DMSIFServiceListener {
public:
    // Takes the controller over and becomes its default listener.
    DMRadioService(const std::string& userName, DMRadioServiceController* controller, DMServicesProvider* provider);
    // Deletes the controller (its calls are cancelled) and the tokens still pending.
    ~DMRadioService() override;

    void InvalidateService() override;
    std::string ServiceTypeURN() override;

    // Not owned; null clears.
    void SetListener(DMRadioServiceListener* listener) { mListener = listener; }
    DMRadioServiceListener* GetListener() const { return mListener; }

    // One request per method: the input must be valid and the service able to send;
    // otherwise null and nothing is sent. The token reaches the method's callback.
    DMServiceRequestToken* RequestListGenres(DMRadio_ListGenres_InputType& input);
    DMServiceRequestToken* RequestListStations(DMRadio_ListStations_InputType& input);
    DMServiceRequestToken* RequestGetStationInfo(DMRadio_GetStationInfo_InputType& input);
    DMServiceRequestToken* RequestGetStationURL(DMRadio_GetStationUrl_InputType& input);
    DMServiceRequestToken* RequestGetStationState(DMRadio_GetStationState_InputType& input);
    DMServiceRequestToken* RequestGetMaxPresets(DMRadio_GetMaxPresets_InputType& input);
    DMServiceRequestToken* RequestGetPresets(DMRadio_GetPresets_InputType& input);
    DMServiceRequestToken* RequestSetPresets(DMRadio_SetPresets_InputType& input);
    DMServiceRequestToken* RequestGetRatingsRange(DMRadio_GetRatingsRange_InputType& input);
    DMServiceRequestToken* RequestRateTrack(DMRadio_RateTrack_InputType& input);

    // What the facade keeps (what further requests would read, e.g. as changedSince).
    const std::string& GetGenresTimeStamp() const { return mGenresTimeStamp; }
    const std::string& GetStationsTimeStamp() const { return mStationsTimeStamp; }
    const std::string& GetPresetsTimeStamp() const { return mPresetsTimeStamp; }
    const std::list<DMRadio_GenreType>& GetGenres() const { return mGenres; }
    const std::list<DMRadio_StationType>& GetStations() const { return mStations; }
    const std::map<std::string, DMRadio_StationInfoType>& GetStationInfos() const { return mStationInfos; }
    std::size_t PendingCount() const { return mPending.size(); }
    DMRadioServiceController* GetController() const { return mController; }

    // The first list received is kept in the server's order; later ones are merged in by
    // id (a received item replaces a held one, the last of several wins), and the held
    // list is then sorted by id byte-wise. Nothing is ever removed.
    void MergeGenres(const std::list<DMRadio_GenreType>& received);
    void MergeStations(const std::list<DMRadio_StationType>& received);

    // DMSIFServiceListener
    void DidBecomeValid(DMSIFService* service) override;
    void DidBecomeInvalid(DMSIFService* service) override;
    void DidFinish(DMSIF_MethodRef* ref, DMSIF_MethodArgumentsType* input, DMSIF_MethodOutputType* output) override;
    void DidFail(DMSIF_MethodRef* ref, DMSIF_MethodArgumentsType* input, DMSIF_MethodOutputType* output) override;
    void DidCancel(DMSIF_MethodRef* ref, DMSIF_MethodArgumentsType* input) override;

    void ServiceWillBecomeInvalid();

private:
    DMServiceRequestToken* Request(const std::string& methodName, DMSIF_MethodArgumentsType& input);
    void Ended(DMSIF_MethodRef* ref, DMSIF_MethodArgumentsType* input, DMSIF_MethodOutputType* output, bool success);
    void HandleResponse(const std::string& methodName, DMServiceRequestToken* token, DMSIF_MethodArgumentsType* input,
                        DMSIF_MethodArgumentsType* output, bool success);
    void HandleListGenres(DMServiceRequestToken* token, DMSIF_MethodArgumentsType* output, bool success);
    void HandleListStations(DMServiceRequestToken* token, DMSIF_MethodArgumentsType* output, bool success);
    void HandleGetStationInfo(DMServiceRequestToken* token, DMSIF_MethodArgumentsType* output, bool success);
    void HandleGetStationState(DMServiceRequestToken* token, DMSIF_MethodArgumentsType* output, bool success);
    void HandleGetStationURL(DMServiceRequestToken* token, DMSIF_MethodArgumentsType* output, bool success);
    void HandleGetMaxPresets(DMServiceRequestToken* token, DMSIF_MethodArgumentsType* output, bool success);
    void HandleGetPresets(DMServiceRequestToken* token, DMSIF_MethodArgumentsType* output, bool success);
    void HandleSetPresets(DMServiceRequestToken* token, DMSIF_MethodArgumentsType* output, bool success);

    DMRadioServiceController* mController;                   // owned
    DMRadioServiceListener* mListener = nullptr;             // not owned
    std::map<std::string, DMServiceRequestToken*> mPending;  // by message id; owned
    std::string mGenresTimeStamp;
    std::string mStationsTimeStamp;
    std::list<DMRadio_GenreType> mGenres;
    std::list<DMRadio_StationType> mStations;
    std::map<std::string, DMRadio_StationInfoType> mStationInfos;
    std::string mPresetsTimeStamp;
};

// Registers 'Rdio' with the service factory: its controller and this facade. Call once
// at start-up, on the main thread, before the first service request.
void DMRadioServiceRegister();
