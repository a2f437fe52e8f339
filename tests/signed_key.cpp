// The test key, linked in place of the build's own (see net/signature/signing_key.h).
#include "net/signature/signing_key.h"

const char kSigningKey[] = TEST_SIGNING_KEY;
