// The publisher's minisign public key the runtime files must be signed with:
// the base64 line of its minisign.pub, or empty when files are not checked.
#pragma once

// Defined alone in signing_key.cpp from UPDATER_SIGNING_KEY, so a test
// program can link a key of its own in its place.
extern const char kSigningKey[];
