#include <gtest/gtest.h>

#include "dms/radio3/DMRadio3ServiceListener.h"

namespace {

// Keeps every default: only the abstract callbacks are given.
class MinimalListener : public DMRadio3ServiceListener {
public:
    void ServiceDidBecomeValid() override {}
    void ServiceWillBecomeInvalid() override {}
    void ServiceDidBecomeInvalid() override {}
    void GenresUpdated(bool, DMServiceRequestToken*, bool) override {}
    void StationsUpdated(bool, DMServiceRequestToken*, bool) override {}
    void RequestForStationsInfoCompleted(const std::vector<DMRadio3_StationInfoType>&, DMServiceRequestToken*,
                                         bool) override {}
    void RequestForStationsStateCompleted(const std::vector<DMRadio3_StationStateType>&, DMServiceRequestToken*,
                                          bool) override {}
    void RequestForMediaFormatsCompleted(const std::vector<DMRadio3_MediaFormatType>&, DMServiceRequestToken*,
                                         bool) override {}
    void RequestForURLsCompleted(const std::string&, const std::vector<std::string>&, DMServiceRequestToken*,
                                 bool) override {}
    void RequestForMaxPresetsCompleted(int, DMServiceRequestToken*, bool) override {}
    void RequestForPresetsCompleted(const std::vector<DMSIF_IDType>&, DMServiceRequestToken*, bool) override {}
    void StorePresetsCompleted(DMServiceRequestToken*, bool) override {}
};

class KeepingListener : public MinimalListener {
public:
    int ShouldMethodFailureInvalidateService(DMServiceRequestToken*) override { return 0; }
};

TEST(Radio3Listener, DefaultVerdictResetsTheSignOn) {
    MinimalListener listener;
    DMRadio3ServiceListener& asBase = listener;
    DMServiceRequestToken token(kServiceTypeRadio3, "user", false, nullptr);
    EXPECT_EQ(asBase.ShouldMethodFailureInvalidateService(&token), 2);
    EXPECT_EQ(asBase.ShouldMethodFailureInvalidateService(nullptr), 2);

    KeepingListener keeping;
    DMRadio3ServiceListener& keepingBase = keeping;
    EXPECT_EQ(keepingBase.ShouldMethodFailureInvalidateService(&token), 0);
}

}  // namespace
