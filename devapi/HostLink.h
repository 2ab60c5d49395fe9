// Finding the host library's device-link service.
#pragma once

#include "ORX.h"

namespace devapi {

// ORXOpenDeviceLink of the host library: looked up in hostInstance when it is
// the handle of a library loaded in this process, else among the globally
// visible symbols, else in an already loaded ORX.so. Null when none offers it.
ORXOpenDeviceLinkFunction FindOpenDeviceLink(void* hostInstance);

}  // namespace devapi
