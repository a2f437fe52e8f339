// Which systems count as 64-bit.
#include "launch/architecture_rules.h"

bool DecideNative64Bit(unsigned short architecture, const GuestX64Answer& guest) {
    // ARM64 and Itanium are 64-bit too, but only x86-64 code runs the game.
    if (architecture == kArchitectureAmd64)
        return true;
    return guest.exportFound && guest.status >= 0 && guest.supported;
}
