// The S-record body: one S0..S7 block per sub-file in slot order, code
// group 1 (slot 3) riding in the block of code group 0 (slot 2). While the
// records are written, each is also applied to the expected images exactly
// as the module's converter cuts records to a slot's range.
#include <algorithm>
#include <cstdio>
#include <stdexcept>
#include <string>

#include "ImageContent.h"
#include "SRecordText.h"
#include "SuperfileParts.h"

namespace mkshx {

namespace {

struct Block {
    std::string name;
    std::vector<const ManifestSubfile*> members;
    bool emit = true;
};

std::vector<Block> PlanBlocks(const Manifest& manifest) {
    std::vector<Block> blocks;
    for (const ManifestSubfile& sub : manifest.subfiles) {
        if (sub.slot == kBootSlot) {
            continue;
        }
        if (sub.slot == 3 && !blocks.empty() && blocks.back().members.front()->slot == 2) {
            blocks.back().members.push_back(&sub);
            continue;
        }
        std::string name = sub.slot == kRamDownloaderSlot
                               ? "RAMDLD"
                               : "CG" + std::to_string(sub.slot - kFirstCodeGroupSlot);
        blocks.push_back({name, {&sub}, !sub.omitBlock});
    }
    return blocks;
}

// [begin, end) offsets of the sub-file that data records cover: all but holes.
std::vector<std::pair<uint64_t, uint64_t>> DataRuns(const ManifestSubfile& sub) {
    std::vector<Hole> holes = sub.holes;
    std::sort(holes.begin(), holes.end(),
              [](const Hole& a, const Hole& b) { return a.offset < b.offset; });
    std::vector<std::pair<uint64_t, uint64_t>> runs;
    uint64_t at = 0;
    for (const Hole& hole : holes) {
        if (hole.offset > at) {
            runs.emplace_back(at, hole.offset);
        }
        at = std::max<uint64_t>(at, uint64_t{hole.offset} + hole.length);
    }
    if (at < sub.Size()) {
        runs.emplace_back(at, sub.Size());
    }
    return runs;
}

// The part of a record that lies in the slot [s, e], written at its place in
// the image; addresses are taken in 64 bits so nothing wraps into a slot.
void ApplyRecord(std::vector<uint8_t>& image, uint32_t s, uint32_t e, uint32_t a,
                 const uint8_t* data, uint32_t n) {
    if (n == 0) {
        return;
    }
    uint64_t first = std::max<uint64_t>(a, s);
    uint64_t last = std::min<uint64_t>(uint64_t{a} + n - 1, e);
    if (first > last) {
        return;
    }
    std::copy(data + (first - a), data + (last - a) + 1, image.begin() + (first - s));
}

class BodyWriter {
  public:
    BodyWriter(const Manifest& manifest, SRecordWriter& writer)
        : manifest(manifest), writer(writer) {}

    void WriteBlock(const Block& block) {
        emit = block.emit;
        targets.clear();
        for (const ManifestSubfile* sub : block.members) {
            if (sub->HasImage()) {
                targets.push_back(sub);
            }
        }
        if (emit) {
            if (body.anyBlock) {
                writer.LineEnd();  // the previous S7 record
            }
            writer.Header(block.name);
            body.anyBlock = true;
        }
        for (const ManifestSubfile* sub : block.members) {
            WriteMember(*sub);
        }
        if (emit) {
            writer.EndRecord();
            for (const ManifestSubfile* sub : targets) {
                body.emittedImages.insert(sub->slot);
            }
        }
    }

    Body Finish() { return std::move(body); }

  private:
    std::vector<uint8_t>& Image(const ManifestSubfile& sub) {
        auto it = body.images.find(sub.slot);
        if (it == body.images.end()) {
            it = body.images.emplace(sub.slot, std::vector<uint8_t>(sub.Size(), 0xFF)).first;
        }
        return it->second;
    }

    void Record(uint32_t address, const uint8_t* data, size_t size, const ManifestSubfile* skip) {
        if (emit) {
            writer.Data(address, data, size);
        }
        for (const ManifestSubfile* target : targets) {
            if (target != skip) {
                ApplyRecord(Image(*target), target->start, target->end, address, data,
                            static_cast<uint32_t>(size));
            }
        }
    }

    void WriteMember(const ManifestSubfile& sub) {
        if (sub.HasImage()) {
            WriteData(sub);
        }
        for (const ExtraRecord& record : sub.extraRecords) {
            Record(record.address, record.data.data(), record.data.size(), nullptr);
        }
    }

    // The sub-file's own data records land in its image at their own offsets,
    // so the content becomes the image directly, holes left 0xFF (or as an
    // earlier member of the block wrote them).
    void WriteData(const ManifestSubfile& sub) {
        std::vector<uint8_t> content = GenerateContent(sub, manifest.seed);
        const auto runs = DataRuns(sub);
        const size_t step = static_cast<size_t>(manifest.recordBytes);
        for (const auto& [begin, end] : runs) {
            for (uint64_t at = begin; at < end; at += step) {
                size_t size = static_cast<size_t>(std::min<uint64_t>(step, end - at));
                Record(static_cast<uint32_t>(sub.start + at), content.data() + at, size, &sub);
            }
        }
        auto existing = body.images.find(sub.slot);
        if (existing == body.images.end()) {
            std::vector<uint8_t> image = std::move(content);
            uint64_t at = 0;
            for (const auto& [begin, end] : runs) {
                std::fill(image.begin() + at, image.begin() + begin, 0xFF);
                at = end;
            }
            std::fill(image.begin() + at, image.end(), 0xFF);
            body.images.emplace(sub.slot, std::move(image));
        } else {
            for (const auto& [begin, end] : runs) {
                std::copy(content.begin() + begin, content.begin() + end,
                          existing->second.begin() + begin);
            }
        }
    }

    const Manifest& manifest;
    SRecordWriter& writer;
    Body body;
    bool emit = true;
    std::vector<const ManifestSubfile*> targets;
};

}  // namespace

size_t EstimateBodySize(const Manifest& manifest) {
    size_t total = 0;
    const size_t step = static_cast<size_t>(manifest.recordBytes);
    for (const Block& block : PlanBlocks(manifest)) {
        if (!block.emit) {
            continue;
        }
        total += 2 * (block.name.size() + 8) + 16;  // S0 and S7 lines
        for (const ManifestSubfile* sub : block.members) {
            for (const auto& [begin, end] : DataRuns(*sub)) {
                size_t bytes = static_cast<size_t>(end - begin);
                total += 2 * bytes + 16 * ((bytes + step - 1) / step);
            }
            for (const ExtraRecord& record : sub->extraRecords) {
                total += SRecordWriter::DataLineLength(record.data.size());
            }
        }
    }
    return total + 16;  // trailer
}

Body WriteBody(const Manifest& manifest, SRecordWriter& writer) {
    BodyWriter body(manifest, writer);
    for (const Block& block : PlanBlocks(manifest)) {
        body.WriteBlock(block);
    }
    return body.Finish();
}

}  // namespace mkshx
