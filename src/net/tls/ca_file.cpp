// The build's CA file, alone in its file (see ca_file.h).
#include "net/tls/ca_file.h"

const char kCaFile[] = UPDATER_CA_FILE;
