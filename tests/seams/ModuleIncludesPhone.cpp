// Must not compile: the module never sees the simulated phone.
#include "Phone.h"
