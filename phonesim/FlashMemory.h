// A sparse memory over a few address banks: NOR flash (erase sets 0xFF,
// programming can only clear bits) or plain RAM. Unwritten bytes read 0xFF.
// Erased pages are kept for the next write rather than freed: a flash job
// erases and programs on its own thread, and pages made at attach, freed
// there and made again would come from that thread's allocator arena while
// the freed ones stay resident, so each flash would add its image's size.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <vector>

#include "Profile.h"

namespace phonesim {

class FlashMemory {
  public:
    static constexpr uint32_t kPageSize = 4096;

    explicit FlashMemory(std::vector<Range> banks = {}) : banks(std::move(banks)) {}

    const std::vector<Range>& Banks() const { return banks; }
    // True when [address, address + length) lies wholly within one bank.
    bool Contains(uint32_t address, uint64_t length) const;

    // Callers check Contains first; bytes outside every bank are not touched.
    void Read(uint32_t address, uint8_t* out, size_t length) const;
    std::vector<uint8_t> Read(uint32_t address, size_t length) const;
    // NOR programming can only clear bits: true when every byte can take its
    // new value (old AND new equals new).
    bool CanProgram(uint32_t address, const uint8_t* data, size_t length) const;
    // Programs the bytes when every one of them can take its new value; when
    // one cannot, writes nothing and returns false.
    bool Program(uint32_t address, const uint8_t* data, size_t length);
    // Plain write (RAM, initial content, restored state).
    void Write(uint32_t address, const uint8_t* data, size_t length);
    void Erase(uint32_t address, uint64_t length);
    void EraseAll();
    // 16-bit byte sum of [address, address + length).
    uint16_t Sum16(uint32_t address, uint64_t length) const;

    // Pages that hold anything but 0xFF, by page number, for the state file.
    const std::map<uint32_t, std::unique_ptr<uint8_t[]>>& Pages() const { return pages; }
    void SetPage(uint32_t page, const uint8_t* bytes);
    // Memory the pages take, erased ones kept for reuse included.
    uint64_t BytesHeld() const { return (pages.size() + spare.size()) * uint64_t{kPageSize}; }

  private:
    uint8_t* Page(uint32_t page);
    const uint8_t* FindPage(uint32_t page) const;
    // Calls visit(pageNumber, offsetInPage, offsetInRange, count) for each piece.
    template <typename Visit>
    static void ForEachPiece(uint32_t address, uint64_t length, Visit visit);

    std::vector<Range> banks;
    using PageMap = std::map<uint32_t, std::unique_ptr<uint8_t[]>>;
    PageMap pages;
    // Erased pages, map nodes and bytes; moving a node between the two maps
    // allocates nothing.
    PageMap spare;
};

}  // namespace phonesim
