#include "app/support/PhoneHomeStatisticsRecorder.h"

#include "app/support/PhoneHomeController.h"
#include "app/support/PhoneHomeServices.h"

void PhoneHomeStatisticsRecorder::setNumber(quint16 key, quint32 value) {
    PhoneHomeServices* store = PhoneHomeController::sharedPhoneHome();
    if (store == nullptr) return;
    if (key == kPhoneHomeKeyServiceError) {
        // The service layer hands kind and code side by side; the statistics server reads
        // the code with its bytes exchanged, as the store packs it.
        const auto [kind, code] = UnpackErrorCode(value);
        value = store->PackErrorCode(kind, code);
    }
    store->SetNumber(key, value);
}
