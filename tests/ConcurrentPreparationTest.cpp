// Jobs that prepare the same superfile at once: they read and check side by
// side, one of them converts, and the others take up its images, index and
// barker codes instead of converting again.
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <thread>
#include <vector>

#include "ModuleFakes.h"
#include "ORX_FP_FlashFileIO.h"
#include "ShxFiles.h"

namespace {

using testsupport::ReadBytes;

class ConcurrentPreparation : public testsupport::ModuleTest {};

TEST_F(ConcurrentPreparation, OneJobConvertsAndTheOthersTakeUpItsWork) {
    nlohmann::json manifest = testsupport::SampleManifest();
    manifest["subfiles"][1]["tableEntry"] = "EEEEEEEEEEEEEEEE";
    const std::string path = scratch.File("fw.shx");
    const mkshx::BuiltSuperfile built = testsupport::WriteShx(manifest, path);

    constexpr int kJobs = 6;
    for (int round = 0; round < 3; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        std::filesystem::remove(scratch.File("fw.hmg"));
        std::vector<std::unique_ptr<CFlashFileIO>> readers;
        for (int i = 0; i < kJobs; ++i) {
            readers.push_back(std::make_unique<CFlashFileIO>(nullptr, path));
        }
        std::vector<int> results(kJobs, -1);
        std::atomic<int> waiting{kJobs};
        testing::internal::CaptureStdout();
        {
            std::vector<std::thread> jobs;
            for (int i = 0; i < kJobs; ++i) {
                jobs.emplace_back([&, i] {
                    waiting.fetch_sub(1);
                    while (waiting.load() > 0) {
                        std::this_thread::yield();
                    }
                    results[static_cast<size_t>(i)] =
                        readers[static_cast<size_t>(i)]->PrepareImages();
                });
            }
            for (std::thread& job : jobs) {
                job.join();
            }
        }
        testing::internal::GetCapturedStdout();

        int converted = 0;
        for (int i = 0; i < kJobs; ++i) {
            const CFlashFileIO& reader = *readers[static_cast<size_t>(i)];
            EXPECT_EQ(results[static_cast<size_t>(i)], 1) << "job " << i;
            converted += reader.ImagesUpToDate() ? 0 : 1;
            EXPECT_EQ(reader.Record(2).barkerCode, (std::array<uint8_t, 8>{1, 2, 3, 4, 5, 6, 7, 8}))
                << "job " << i;
        }
        EXPECT_EQ(converted, 1);
        for (const auto& [slot, bytes] : built.images) {
            EXPECT_EQ(ReadBytes(shx::ImageFileName(path, slot)), bytes) << "slot " << slot;
        }
    }
}

}  // namespace
