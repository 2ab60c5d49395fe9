// Where the module's file version lives: a block in the module's own file,
// "ORXVB1<" + version + ">", found by reading the file back.
#pragma once

#include <string>

extern "C" const char ORX_FP_FlashVersionBlock[];

// The version in a file's bytes, or empty when the file holds no block.
std::string FindVersionBlock(const std::string& bytes);
