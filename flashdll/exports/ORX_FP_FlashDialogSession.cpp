#include "ORX_FP_FlashDialogSession.h"

#include <memory>
#include <mutex>
#include <new>
#include <vector>

#include "ErrorLog.h"
#include "ORX_FP_Flash.h"
#include "ORX_FP_FlashState.h"
#include "ORX_FP_FlashThread.h"
#include "platform/MessageBox.h"

namespace {

constexpr const char* kSource = "ORX_FP_Flash";
constexpr const char* kNoPointers = "Error initializing pointers";
constexpr const char* kNoInstance = "Handle to instance of ORX DLL is a NULL Pointer";

// A dialog whose engine's worker had not ended when it was closed (busy with a
// phone): kept, window gone, until the worker has ended.
struct Retired {
    std::unique_ptr<CWorkerThread> engine;
    std::unique_ptr<IFlashDialog> dialog;
};

struct Session {
    std::mutex lock;
    std::unique_ptr<IFlashDialog> dialog;
    CFlashThread* engine = nullptr;  // owned by the module state (mainFlashThread)
    std::vector<Retired> retired;
};

Session& TheSession() {
    static Session session;
    return session;
}

// Frees the retired dialogs whose workers have ended; the engine goes first,
// as it may call its dialog until then.
void ReapRetired(Session& session) {
    std::erase_if(session.retired, [](Retired& old) {
        if (old.engine->Running() == 1 || !old.engine->Ended()) {
            return false;
        }
        old.engine.reset();
        old.dialog.reset();
        return true;
    });
}

}  // namespace

int OpenDialogSession(const DialogPlacement& placement, void** threadHandle) {
    Session& session = TheSession();
    std::lock_guard guard(session.lock);
    ReapRetired(session);
    if (session.dialog) {
        return ORX_RESULT_BUSY;
    }
    std::unique_ptr<IFlashDialog> dialog = MakeFlashDialog(placement);
    std::unique_ptr<CFlashThread> engine;
    if (dialog) {
        CFlashThread::Config config;
        config.dialog = dialog.get();
        config.hostInstanceHandle = hostInstance.load();
        engine.reset(new (std::nothrow) CFlashThread(std::move(config)));
    }
    if (!dialog || !engine) {
        platform::ShowStopBox(kNoPointers);
        LogFlashError(__LINE__, kNoPointers, kSource);
        return ORX_RESULT_FAILED;
    }
    CFlashThread* worker = engine.get();
    session.dialog = std::move(dialog);
    session.engine = worker;
    SetMainFlashThread(std::move(engine));
    if (hostInstance.load() == nullptr) {
        platform::ShowStopBox(kNoInstance);
        LogFlashError(__LINE__, kNoInstance, kSource);
        return ORX_RESULT_FAILED;
    }
    session.dialog->Attach(worker, hostInstance.load());
    session.dialog->CreateAndShow();
    worker->Start();
    if (threadHandle != nullptr) {
        *threadHandle = worker->ThreadHandle();
    }
    return ORX_RESULT_OK;
}

int ResizeDialogSession(int left, int top, int right, int bottom) {
    Session& session = TheSession();
    std::lock_guard guard(session.lock);
    if (session.engine != nullptr) {
        session.engine->RequestMove({left, top, right, bottom});
    }
    return ORX_RESULT_OK;
}

int CloseDialogSession() {
    Session& session = TheSession();
    std::lock_guard guard(session.lock);
    ReapRetired(session);
    if (!session.dialog) {
        return ORX_RESULT_OK;
    }
    IFlashDialog& dialog = *session.dialog;
    SetLastSuperfile(dialog.GetControlText(ctl::kFileName));
    bool ended = true;
    if (session.engine != nullptr && session.engine->Running() == 1) {
        if (dialog.Flashing()) {
            return ORX_RESULT_BUSY;
        }
        // A worker waiting for the GUI thread (this one) is answered first,
        // so it can see the stop.
        dialog.ReleaseWorker();
        ended = session.engine->Stop() == 1;
    }
    dialog.Destroy();
    std::unique_ptr<CWorkerThread> engine = TakeMainFlashThread();
    session.engine = nullptr;
    if (ended) {
        engine.reset();
        session.dialog.reset();
    } else {
        session.retired.push_back({std::move(engine), std::move(session.dialog)});
    }
    return ORX_RESULT_OK;
}
