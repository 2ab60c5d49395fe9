#include "ORX_FP_FlashTextArray.h"

#include <algorithm>
#include <cstring>

bool ValidTextArray(const OrxTextArray* array) {
    return array != nullptr && array->count >= 0 &&
           (array->count == 0 || array->entries != nullptr);
}

std::vector<std::string> CopyTextsIn(const OrxTextArray& array) {
    std::vector<std::string> texts(static_cast<size_t>(array.count));
    for (size_t i = 0; i < texts.size(); ++i) {
        if (array.entries[i] != nullptr && array.entrySize > 0) {
            texts[i].assign(array.entries[i], strnlen(array.entries[i], array.entrySize));
        }
    }
    return texts;
}

void WriteTextEntry(OrxTextArray& array, int index, const std::string& text) {
    if (index < 0 || index >= array.count || array.entrySize == 0) {
        return;
    }
    char* entry = array.entries[index];
    if (entry == nullptr) {
        return;
    }
    size_t length = std::min(text.size(), array.entrySize - 1);
    std::memcpy(entry, text.data(), length);
    entry[length] = '\0';
}

void CopyChangedTextsOut(const std::vector<std::string>& before,
                         const std::vector<std::string>& after, OrxTextArray& array) {
    for (size_t i = 0; i < after.size() && i < before.size(); ++i) {
        if (after[i] != before[i]) {
            WriteTextEntry(array, static_cast<int>(i), after[i]);
        }
    }
}
