#pragma once

// The core radio service's listener: forwards every callback, unchanged, to the
// ZYMRadioService that owns it. Called from the core's event queue on the main thread,
// so every forward is guarded: an exception is logged, never thrown into the loop.

#include "dms/radio3/DMRadio3ServiceListener.h"

class ZYMRadioService;

class RadioServiceListener : public DMRadio3ServiceListener {
public:
    explicit RadioServiceListener(ZYMRadioService* service) : service_(service) {}
    virtual ~RadioServiceListener() = default;
    RadioServiceListener(const RadioServiceListener&) = delete;
    RadioServiceListener& operator=(const RadioServiceListener&) = delete;

    void ServiceDidBecomeValid() override;
    void ServiceWillBecomeInvalid() override;
    void ServiceDidBecomeInvalid() override;
    // The service's answer, unchanged; 2 when the service could not answer.
    int ShouldMethodFailureInvalidateService(DMServiceRequestToken* token) override;
    void GenresUpdated(bool updated, DMServiceRequestToken* token, bool success) override;
    void StationsUpdated(bool updated, DMServiceRequestToken* token, bool success) override;
    void RequestForStationsInfoCompleted(const std::vector<DMRadio3_StationInfoType>& stations,
                                         DMServiceRequestToken* token, bool success) override;
    void RequestForStationsStateCompleted(const std::vector<DMRadio3_StationStateType>& states,
                                          DMServiceRequestToken* token, bool success) override;
    void RequestForMediaFormatsCompleted(const std::vector<DMRadio3_MediaFormatType>& formats,
                                         DMServiceRequestToken* token, bool success) override;
    void RequestForURLsCompleted(const std::string& refId, const std::vector<std::string>& urls,
                                 DMServiceRequestToken* token, bool success) override;
    void RequestForMaxPresetsCompleted(int maxPresets, DMServiceRequestToken* token, bool success) override;
    void RequestForPresetsCompleted(const std::vector<DMSIF_IDType>& presets, DMServiceRequestToken* token,
                                    bool success) override;
    void StorePresetsCompleted(DMServiceRequestToken* token, bool success) override;

private:
    ZYMRadioService* service_;  // not owned: the service owns this listener
};
