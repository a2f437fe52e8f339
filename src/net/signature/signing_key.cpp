// The build's signing key, alone in its file (see signing_key.h).
#include "net/signature/signing_key.h"

const char kSigningKey[] = UPDATER_SIGNING_KEY;
