// Must not compile: the module reaches the host only through interfaces/.
#include "OrxHost.h"
