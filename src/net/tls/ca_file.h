// The PEM file of roots a test build trusts in place of the system's store:
// empty in the product.
#pragma once

// Defined alone in ca_file.cpp from UPDATER_CA_FILE, so a test program can
// link the product's empty one in its place.
extern const char kCaFile[];
