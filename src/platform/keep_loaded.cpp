// Sanitizer builds only: libraries opened at run time (Mesa's drivers, SDL's backends) stay mapped
// until the process ends, so that the leak checker can name the library behind each allocation it
// reports instead of an unloaded, unknown module. Defined in the executable, this dlclose is the
// one every library finds.
#include <dlfcn.h>

extern "C" int dlclose(void*) {
    return 0;
}
