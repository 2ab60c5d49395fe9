// The entry points with a dialog, against a recording dialog that the module
// makes through its factory: opening, resizing, refusing to close during a
// flash, and closing while the worker waits for the dialog.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>
#include <utility>

#include "ModuleFakes.h"
#include "ORX_FP_Flash.h"
#include "ORX_FP_FlashDialog.h"
#include "ORX_FP_FlashThread.h"

namespace {

using namespace std::chrono_literals;

// What a test sees of the dialog the module made and owns.
struct DialogProbe {
    std::mutex lock;
    std::condition_variable changed;
    DialogPlacement placement;
    CFlashThread* engine = nullptr;
    void* instance = nullptr;
    int shows = 0;
    int releases = 0;
    int destroys = 0;
    bool deleted = false;
    bool flashing = false;
    bool holdWorker = false;  // the worker's next call waits until released
    bool released = false;
    std::vector<std::vector<int>> moves;
    std::string fileName = "/tmp/none.shx";

    template <typename Predicate>
    bool WaitFor(Predicate predicate) {
        std::unique_lock guard(lock);
        return changed.wait_for(guard, 5s, predicate);
    }
};

class ProbeDialog : public IFlashDialog {
  public:
    explicit ProbeDialog(std::shared_ptr<DialogProbe> probe) : probe(std::move(probe)) {}
    ~ProbeDialog() override {
        Note([](DialogProbe& p) { p.deleted = true; });
    }

    std::string GetControlText(int) override {
        return Call([](DialogProbe& p) { return p.fileName; });
    }
    void SetControlText(int, const std::string&) override {
        Call([](DialogProbe&) { return 0; });
    }
    void EnableControl(int, bool) override {
        Call([](DialogProbe&) { return 0; });
    }
    void ShowControl(int, bool) override {}
    void ListReset(int) override {}
    void ListAdd(int, const std::string&) override {}
    void ListSelect(int, int) override {}
    void CheckRadio(int, bool) override {}
    void Move(int left, int top, int right, int bottom) override {
        Note([&](DialogProbe& p) { p.moves.push_back({left, top, right, bottom}); });
    }
    std::string InterfaceName() override { return "Kestrova_Tavenor_OS"; }
    void SetFlashing(bool value) override {
        Note([&](DialogProbe& p) { p.flashing = value; });
    }
    bool HeaderRead() override { return false; }
    int ReadFileHeader() override { return 0; }

    void Attach(CFlashThread* engine, void* instance) override {
        Note([&](DialogProbe& p) {
            p.engine = engine;
            p.instance = instance;
        });
    }
    int CreateAndShow() override {
        Note([](DialogProbe& p) { ++p.shows; });
        return 1;
    }
    bool Flashing() const override {
        std::lock_guard guard(probe->lock);
        return probe->flashing;
    }
    void ReleaseWorker() override {
        Note([](DialogProbe& p) {
            ++p.releases;
            p.released = true;
        });
    }
    void Destroy() override {
        Note([](DialogProbe& p) { ++p.destroys; });
    }

  private:
    void Note(const std::function<void(DialogProbe&)>& change) {
        std::lock_guard guard(probe->lock);
        change(*probe);
        probe->changed.notify_all();
    }
    // A call of the worker: held, as one waiting for a busy GUI thread, until
    // the dialog releases it. Calls on the GUI thread run at once.
    template <typename Body>
    auto Call(Body body) -> decltype(body(std::declval<DialogProbe&>())) {
        std::unique_lock guard(probe->lock);
        probe->changed.wait(guard, [&] {
            return std::this_thread::get_id() == guiThread || !probe->holdWorker || probe->released;
        });
        return body(*probe);
    }
    std::shared_ptr<DialogProbe> probe;
    std::thread::id guiThread = std::this_thread::get_id();
};

class DialogEntryPoints : public testsupport::HostedModuleTest {
  protected:
    DialogEntryPoints() {
        previous = SetDialogFactory([probe = probe](const DialogPlacement& placement) {
            probe->placement = placement;
            return std::make_unique<ProbeDialog>(probe);
        });
    }
    ~DialogEntryPoints() override {
        {
            std::lock_guard guard(probe->lock);
            probe->flashing = false;
        }
        UTCClose();
        SetDialogFactory(previous);
    }

    int parent = 0;
    std::shared_ptr<DialogProbe> probe = std::make_shared<DialogProbe>();
    DialogFactory previous;
};

TEST_F(DialogEntryPoints, OpenMakesDialogAndWorkerResizeMovesItCloseDestroysBoth) {
    void* handle = nullptr;
    ASSERT_EQ(UTCOpen(0x101, &parent, 10, 20, 400, 300, &handle), 0);
    EXPECT_EQ(headlessMode.load(), 0);
    EXPECT_EQ(probe->placement.parent, &parent);
    EXPECT_EQ(probe->placement.right, 400);
    EXPECT_EQ(probe->shows, 1);
    EXPECT_EQ(probe->instance, hostInstance.load());
    ASSERT_NE(probe->engine, nullptr);
    EXPECT_EQ(handle, probe->engine->ThreadHandle());
    EXPECT_NE(handle, nullptr);
    EXPECT_EQ(UTCOpen(1, &parent, 0, 0, 1, 1, nullptr), 16) << "one dialog at a time";

    EXPECT_EQ(UTCResize(5, 6, 205, 106), 0);
    EXPECT_TRUE(probe->WaitFor([&] { return !probe->moves.empty(); }));
    EXPECT_EQ(probe->moves.back(), (std::vector<int>{5, 6, 205, 106}));

    EXPECT_EQ(UTCClose(), 0);
    EXPECT_EQ(probe->releases, 1);
    EXPECT_EQ(probe->destroys, 1);
    EXPECT_TRUE(probe->deleted);
    EXPECT_EQ(LastSuperfile(), "/tmp/none.shx");
    EXPECT_TRUE(boxes.Boxes().empty());
}

TEST_F(DialogEntryPoints, CloseDuringAFlashAnswers16AndChangesNothing) {
    ASSERT_EQ(UTCOpen(1, &parent, 0, 0, 100, 100, nullptr), 0);
    {
        std::lock_guard guard(probe->lock);
        probe->flashing = true;
    }
    EXPECT_EQ(UTCClose(), 16);
    EXPECT_EQ(probe->destroys, 0);
    EXPECT_EQ(probe->engine->Running(), 1);
    {
        std::lock_guard guard(probe->lock);
        probe->flashing = false;
    }
    EXPECT_EQ(UTCClose(), 0);
    EXPECT_TRUE(probe->deleted);
}

TEST_F(DialogEntryPoints, CloseAnswersAWorkerWaitingForTheDialogBeforeStoppingIt) {
    {
        std::lock_guard guard(probe->lock);
        probe->holdWorker = true;
    }
    ASSERT_EQ(UTCOpen(1, &parent, 0, 0, 100, 100, nullptr), 0);
    std::this_thread::sleep_for(50ms);  // the worker's first poll is now held
    EXPECT_EQ(UTCClose(), 0);
    EXPECT_TRUE(probe->deleted);
}

TEST_F(DialogEntryPoints, WithoutInstanceTheObjectsStayUnshownUntilClose) {
    hostInstance.store(nullptr);
    void* handle = nullptr;
    EXPECT_EQ(UTCOpen(1, &parent, 0, 0, 100, 100, &handle), 15);
    EXPECT_EQ(boxes.Texts(),
              (std::vector<std::string>{"Handle to instance of ORX DLL is a NULL Pointer"}));
    EXPECT_EQ(probe->shows, 0);
    EXPECT_EQ(handle, nullptr);
    EXPECT_FALSE(probe->deleted);
    EXPECT_EQ(UTCClose(), 0);
    EXPECT_TRUE(probe->deleted);
}

TEST_F(DialogEntryPoints, NoFactoryMeansTheDialogCannotBeMade) {
    SetDialogFactory(nullptr);
    EXPECT_EQ(UTCOpen(1, &parent, 0, 0, 100, 100, nullptr), 15);
    EXPECT_EQ(boxes.Texts(), (std::vector<std::string>{"Error initializing pointers"}));
    EXPECT_NE(Log1().find("Error initializing pointers"), std::string::npos);
}

}  // namespace
