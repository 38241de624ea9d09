#include "support/Env.h"
