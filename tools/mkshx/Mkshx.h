// Everything the superfile builder offers to tools and tests.
#pragma once

#include "Checksum.h"
#include "Manifest.h"
#include "Superfile.h"
#include "Variants.h"
