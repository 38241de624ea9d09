#include "app/services/ServiceStatistics.h"

namespace {

class NoStatistics : public StatisticsRecorder {
public:
    void setNumber(quint16, quint32) override {}
};

}  // namespace

StatisticsRecorder& StatisticsRecorder::shared() {
    static NoStatistics recorder;
    return recorder;
}
