#include "ORX_FP_FlashDialog.h"

#include <mutex>
#include <new>

namespace {
std::mutex factoryLock;

DialogFactory& InstalledFactory() {
    static DialogFactory factory;
    return factory;
}
}  // namespace

DialogFactory SetDialogFactory(DialogFactory factory) {
    std::lock_guard guard(factoryLock);
    DialogFactory previous = std::move(InstalledFactory());
    InstalledFactory() = std::move(factory);
    return previous;
}

std::unique_ptr<IFlashDialog> MakeFlashDialog(const DialogPlacement& placement) {
    DialogFactory factory;
    {
        std::lock_guard guard(factoryLock);
        factory = InstalledFactory();
    }
    if (!factory) {
        return nullptr;
    }
    try {
        return factory(placement);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}
