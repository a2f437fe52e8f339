// The product's trust: no CA file, so every server is checked against the
// system's roots (see net/tls/ca_file.h).
#include "net/tls/ca_file.h"

const char kCaFile[] = "";
