// Putting one downloaded file in its place.
#include "patch/patch.h"

bool ApplyPatchEntry(PatchEntry entry) {
    (void)entry;
    return false;
}
