#include "dms/radio3/DMRadio3ServiceListener.h"

int DMRadio3ServiceListener::ShouldMethodFailureInvalidateService(DMServiceRequestToken*) { return 2; }
