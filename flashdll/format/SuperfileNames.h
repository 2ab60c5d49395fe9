// The names of the files derived from a superfile: one image file per slot
// with an image, and the image index.
#pragma once

#include <string>

namespace shx {

// The superfile path with every ".shx" removed: the stem of its derived files.
std::string ImageBase(const std::string& superfilePath);
// The image file of a slot (none for the boot slot or a slot out of range:
// empty text).
std::string ImageFileName(const std::string& superfilePath, int slot);
std::string IndexFileName(const std::string& superfilePath);

}  // namespace shx
