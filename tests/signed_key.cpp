// The test key, linked in place of the build's own (see net/signing_key.h).
#include "net/signing_key.h"

const char kSigningKey[] = TEST_SIGNING_KEY;
