#pragma once

// The service layer's statistics recorder over the real store: what the service layer
// records goes to the shared store once set-up has made it, and nowhere before.

#include "app/services/ServiceStatistics.h"

class PhoneHomeStatisticsRecorder : public StatisticsRecorder {
public:
    void setNumber(quint16 key, quint32 value) override;
};
