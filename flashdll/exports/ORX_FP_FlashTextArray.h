// Moving texts across the export boundary: the caller's fixed buffers in, and
// back out only where they changed, cut to the buffer's size.
#pragma once

#include <string>
#include <vector>

#include "ORX_FP_Flash.h"

// A non-null array whose count and entries can be used.
bool ValidTextArray(const OrxTextArray* array);
std::vector<std::string> CopyTextsIn(const OrxTextArray& array);
void CopyChangedTextsOut(const std::vector<std::string>& before,
                         const std::vector<std::string>& after, OrxTextArray& array);
// Writes one entry, cut to its size; nothing for a missing entry.
void WriteTextEntry(OrxTextArray& array, int index, const std::string& text);
