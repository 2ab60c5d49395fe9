#include "FlashMemory.h"

#include <algorithm>
#include <cstring>

namespace phonesim {

template <typename Visit>
void FlashMemory::ForEachPiece(uint32_t address, uint64_t length, Visit visit) {
    uint64_t at = address;
    uint64_t end = at + length;
    while (at < end) {
        auto page = static_cast<uint32_t>(at / kPageSize);
        auto offset = static_cast<size_t>(at % kPageSize);
        size_t count = static_cast<size_t>(std::min<uint64_t>(kPageSize - offset, end - at));
        visit(page, offset, static_cast<size_t>(at - address), count);
        at += count;
    }
}

bool FlashMemory::Contains(uint32_t address, uint64_t length) const {
    return std::any_of(banks.begin(), banks.end(),
                       [&](const Range& bank) { return bank.Contains(address, length); });
}

uint8_t* FlashMemory::Page(uint32_t page) {
    if (auto found = pages.find(page); found != pages.end()) {
        return found->second.get();
    }
    uint8_t* bytes = nullptr;
    if (spare.empty()) {
        bytes = pages.emplace(page, std::make_unique<uint8_t[]>(kPageSize)).first->second.get();
    } else {
        auto reused = spare.find(page);
        PageMap::node_type node = spare.extract(reused != spare.end() ? reused : spare.begin());
        node.key() = page;
        bytes = node.mapped().get();
        pages.insert(std::move(node));
    }
    std::memset(bytes, 0xFF, kPageSize);
    return bytes;
}

void FlashMemory::EraseAll() {
    spare.merge(pages);  // the two hold different pages, so every one moves
}

const uint8_t* FlashMemory::FindPage(uint32_t page) const {
    auto found = pages.find(page);
    return found == pages.end() ? nullptr : found->second.get();
}

void FlashMemory::Read(uint32_t address, uint8_t* out, size_t length) const {
    ForEachPiece(address, length, [&](uint32_t page, size_t offset, size_t at, size_t count) {
        const uint8_t* bytes = FindPage(page);
        if (bytes == nullptr) {
            std::memset(out + at, 0xFF, count);
        } else {
            std::memcpy(out + at, bytes + offset, count);
        }
    });
}

std::vector<uint8_t> FlashMemory::Read(uint32_t address, size_t length) const {
    std::vector<uint8_t> bytes(length);
    Read(address, bytes.data(), length);
    return bytes;
}

bool FlashMemory::CanProgram(uint32_t address, const uint8_t* data, size_t length) const {
    // Without a branch a byte, the loop runs many bytes a step.
    uint8_t missing = 0;
    ForEachPiece(address, length, [&](uint32_t page, size_t offset, size_t at, size_t count) {
        const uint8_t* bytes = FindPage(page);
        if (bytes == nullptr) {
            return;  // erased: takes any value
        }
        bytes += offset;
        const uint8_t* wanted = data + at;
        for (size_t i = 0; i < count; ++i) {
            missing |= static_cast<uint8_t>(wanted[i] & ~bytes[i]);
        }
    });
    return missing == 0;
}

bool FlashMemory::Program(uint32_t address, const uint8_t* data, size_t length) {
    if (!CanProgram(address, data, length)) {
        return false;
    }
    Write(address, data, length);  // old AND new is new for every byte
    return true;
}

void FlashMemory::Write(uint32_t address, const uint8_t* data, size_t length) {
    ForEachPiece(address, length, [&](uint32_t page, size_t offset, size_t at, size_t count) {
        std::memcpy(Page(page) + offset, data + at, count);
    });
}

void FlashMemory::Erase(uint32_t address, uint64_t length) {
    ForEachPiece(address, length, [&](uint32_t page, size_t offset, size_t, size_t count) {
        if (count == kPageSize) {
            if (auto found = pages.find(page); found != pages.end()) {
                spare.insert(pages.extract(found));
            }
        } else if (auto found = pages.find(page); found != pages.end()) {
            std::memset(found->second.get() + offset, 0xFF, count);
        }
    });
}

uint16_t FlashMemory::Sum16(uint32_t address, uint64_t length) const {
    uint32_t sum = 0;
    ForEachPiece(address, length, [&](uint32_t page, size_t offset, size_t, size_t count) {
        const uint8_t* bytes = FindPage(page);
        if (bytes == nullptr) {
            sum += 0xFFu * static_cast<uint32_t>(count);
            return;
        }
        for (size_t i = 0; i < count; ++i) {
            sum += bytes[offset + i];
        }
    });
    return static_cast<uint16_t>(sum);
}

void FlashMemory::SetPage(uint32_t page, const uint8_t* bytes) {
    std::memcpy(Page(page), bytes, kPageSize);
}

}  // namespace phonesim
