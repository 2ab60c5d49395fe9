#include "ShxFiles.h"

namespace testsupport {

nlohmann::json SampleManifest() {
    return nlohmann::json::parse(R"({
      "kind": "K380 Superfile",
      "date": "Mar 05 2002",
      "seed": 7,
      "subfiles": [
        {"slot": "ramdld", "start": "0x03FC0000", "size": 2048, "version": "0x0101"},
        {"slot": "cg0", "start": "0x10000000", "size": 4096, "type": 2, "version": "0x0210",
         "barker": "0102030405060708"},
        {"slot": "cg1", "start": "0x10010000", "size": 8192, "version": "0x0357"},
        {"slot": "cg2", "start": "0x10200000", "size": 1024, "version": "0x0012"},
        {"slot": "cg4", "start": "0x10300000", "size": 3000, "type": 2, "version": "0x0104"}
      ]})");
}

mkshx::BuiltSuperfile WriteShx(const nlohmann::json& manifest, const std::string& path,
                               bool writeImages) {
    mkshx::BuiltSuperfile built = mkshx::BuildSuperfile(mkshx::ParseManifest(manifest));
    mkshx::WriteSuperfile(built, path, writeImages);
    return built;
}

}  // namespace testsupport
