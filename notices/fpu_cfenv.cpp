// Saving and restoring the floating-point state on processors without the x87 unit, through the
// C library's floating-point environment.
#include <fenv.h>
#include <string.h>

#include "notices/notices.h"

alignas(16) unsigned char fpu_staging_area[fpu_state_size];

static_assert(sizeof(fenv_t) <= fpu_state_size,
              "the floating-point environment must fit the image");

void save_fpu_state(unsigned char* image) {
    fenv_t environment;
    fegetenv(&environment);
    memcpy(fpu_staging_area, &environment, sizeof environment);
    fesetenv(FE_DFL_ENV);
    memcpy(image, fpu_staging_area, fpu_state_size);
}

void restore_fpu_state(const unsigned char* image) {
    memcpy(fpu_staging_area, image, fpu_state_size);
    fenv_t environment;
    memcpy(&environment, fpu_staging_area, sizeof environment);
    fesetenv(&environment);
}
