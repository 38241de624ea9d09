#pragma once
// A player engine that plays nothing and reports nothing, recording the URLs it is given,
// so a window's reports are driven by the test itself.

#include <memory>
#include <string>
#include <vector>

#include "app/radio/RadioPlayer.h"

class SilentEngine : public RadioPlayerEngine {
public:
    explicit SilentEngine(std::vector<std::string>* played) : played_(played) {}
    void Play(const std::string& url) override { played_->push_back(url); }
    void Stop() override {}
    bool IsPlaying() override { return false; }
    int GetPlayState() override { return 0; }
    void SetVolume(float v) override { volume_ = v; }
    float GetVolume() override { return volume_; }
    void SetBufferingLevels(float, float) override {}
    void GetBufferingLevels(float& low, float& high) override { low = high = 0; }
    void SetStreamConnectionStartTimeout(float) override {}
    void SetStreamConnectionStaleTimeout(float) override {}
    float GetStreamConnectionStartTimeout() override { return 0; }
    float GetStreamConnectionStaleTimeout() override { return 0; }
    void AddPlayStateListener(Amp::PlayStateListener*) override {}
    void AddMetaDataListener(Amp::MetaDataListener*) override {}

    static RadioPlayerEngineFactory factory(std::vector<std::string>* played) {
        return [played](const std::string&) { return std::make_unique<SilentEngine>(played); };
    }

private:
    std::vector<std::string>* played_;
    float volume_ = 1;
};
