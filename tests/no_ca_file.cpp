// The product's trust: no CA file, so every server is checked against the
// system's roots (see net/ca_file.h).
#include "net/ca_file.h"

const char kCaFile[] = "";
