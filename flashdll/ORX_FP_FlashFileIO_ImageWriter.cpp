#include "ORX_FP_FlashFileIO_ImageWriter.h"

#include <cerrno>
#include <system_error>

#include "platform/File.h"

namespace shx {

void ImageWriter::Write(const Job& job) {
    if (!platform::WriteAt(job.fd, job.offset, job.bytes, job.length)) {
        int cause = errno;
        std::lock_guard guard(lock);
        if (error == 0) {
            error = cause != 0 ? cause : EIO;
        }
    }
}

void ImageWriter::Post(int fd, const uint8_t* bytes, uint64_t offset, uint64_t length) {
    if (length == 0) {
        return;
    }
    {
        std::lock_guard guard(lock);
        if (!thread.joinable() && !noThread) {
            try {
                stopping = false;
                thread = std::thread(&ImageWriter::Run, this);
            } catch (const std::system_error&) {
                noThread = true;
            }
        }
        if (!noThread) {
            jobs.push_back({fd, bytes, offset, length});
            wake.notify_one();
            return;
        }
    }
    Write({fd, bytes, offset, length});
}

void ImageWriter::Run() {
    std::unique_lock guard(lock);
    for (;;) {
        wake.wait(guard, [&] { return stopping || !jobs.empty(); });
        if (jobs.empty()) {
            return;  // stopping, with nothing left
        }
        Job job = jobs.front();
        jobs.pop_front();
        busy = true;
        guard.unlock();
        Write(job);
        guard.lock();
        busy = false;
        if (jobs.empty()) {
            idle.notify_all();
        }
    }
}

void ImageWriter::Drain() {
    std::unique_lock guard(lock);
    idle.wait(guard, [&] { return jobs.empty() && !busy; });
}

int ImageWriter::Finish() {
    {
        std::lock_guard guard(lock);
        stopping = true;
        wake.notify_one();
    }
    if (thread.joinable()) {
        thread.join();
    }
    std::lock_guard guard(lock);
    noThread = false;
    int failed = error;
    error = 0;
    return failed;
}

}  // namespace shx
