// The game process's claim on its folder, shared by the real backends: the successor's wait, the
// lock kept for the process's life, and the running game brought forward. Relies on: instance.h.
#include "runtime/platform/system/instance.h"

int instance_claim_for_process(const char* folder) {
    static InstanceLock* held = nullptr;  // never released: the system lets go when the process ends
    if (held) return 1;
    uint32_t wait_ms = instance_take_successor_mark() ? kSuccessorWaitMs : 0;
    InstanceClaim claim = instance_claim(folder ? folder : "", wait_ms, &held);
    if (claim != INSTANCE_HELD_ELSEWHERE) return 1;
    instance_bring_forward();
    return 0;
}
