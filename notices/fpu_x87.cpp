// Saving and restoring the floating-point state on x86, with the x87 full-state instructions.
#include <string.h>

#include "notices/notices.h"

alignas(16) unsigned char fpu_staging_area[fpu_state_size];

namespace {

// The part of the staging area that the save instruction writes and the restore reads.
typedef unsigned char x87_image[108];

x87_image& staged_image() {
    return *reinterpret_cast<x87_image*>(fpu_staging_area);
}

}  // namespace

void save_fpu_state(unsigned char* image) {
    // FNSAVE stores the environment and all eight registers, then re-initialises the unit. The
    // waits let pending exceptions surface here rather than inside the box.
    __asm__ __volatile__("fwait\n\tfnsave %0\n\tfwait" : "=m"(staged_image()) : : "memory");
    memcpy(image, fpu_staging_area, fpu_state_size);
}

void restore_fpu_state(const unsigned char* image) {
    memcpy(fpu_staging_area, image, fpu_state_size);
    __asm__ __volatile__("fwait\n\tfrstor %0" : : "m"(staged_image()) : "memory");
}
