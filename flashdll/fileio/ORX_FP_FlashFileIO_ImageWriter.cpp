#include "ORX_FP_FlashFileIO_ImageWriter.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <new>
#include <system_error>

#include "FormatBytes.h"
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

namespace shx {

namespace {
std::atomic<uint64_t> imageMemoryBudget{kDefaultImageMemoryBudget};
}  // namespace

uint64_t ImageMemoryBudget() {
    return imageMemoryBudget.load();
}

void SetImageMemoryBudget(uint64_t bytes) {
    imageMemoryBudget.store(bytes);
}

void FileImage::Fail(int cause) {
    if (error == 0) {
        error = cause != 0 ? cause : EIO;
    }
}

bool FileImage::Advance() {
    uint64_t size = std::min(windowSize, length - base);
    if (window.empty()) {
        // Never written: the stretch is erased flash.
        try {
            window.assign(size, 0xFF);
        } catch (const std::bad_alloc&) {
            Fail(ENOMEM);
            return false;
        }
    }
    if (!platform::WriteAt(fd, base, window.data(), size)) {
        Fail(errno);
        return false;
    }
    sum += ByteSum(window.data(), size);
    base += size;
    std::fill(window.begin(), window.end(), 0xFF);
    return true;
}

// Bytes the file already holds for good are replaced, and the sum with them.
bool FileImage::WriteBehind(uint64_t offset, const uint8_t* bytes, uint64_t count) {
    uint8_t old[512];
    for (uint64_t done = 0; done < count;) {
        size_t piece = static_cast<size_t>(std::min<uint64_t>(sizeof old, count - done));
        if (!platform::ReadAt(fd, offset + done, old, piece)) {
            Fail(errno);
            return false;
        }
        if (!platform::WriteAt(fd, offset + done, bytes + done, piece)) {
            Fail(errno);
            return false;
        }
        sum += ByteSum(bytes + done, piece) - ByteSum(old, piece);
        done += piece;
    }
    return true;
}

void FileImage::Write(uint64_t offset, const uint8_t* bytes, uint64_t count) {
    if (error != 0 || offset >= length) {
        return;
    }
    count = std::min(count, length - offset);
    while (count > 0) {
        uint64_t piece = 0;
        if (offset < base) {
            piece = std::min(count, base - offset);
            if (!WriteBehind(offset, bytes, piece)) {
                return;
            }
        } else if (offset - base >= windowSize) {
            if (!Advance()) {
                return;
            }
            continue;
        } else {
            if (window.empty()) {
                try {
                    window.assign(std::min(windowSize, length - base), 0xFF);
                } catch (const std::bad_alloc&) {
                    Fail(ENOMEM);
                    return;
                }
            }
            piece = std::min(count, base + window.size() - offset);
            std::memcpy(window.data() + (offset - base), bytes, piece);
        }
        offset += piece;
        bytes += piece;
        count -= piece;
    }
}

int FileImage::Finish() {
    while (error == 0 && base < length) {
        Advance();
    }
    std::vector<uint8_t>().swap(window);
    return error;
}

bool FileImage::ReadHead(uint8_t* out, uint64_t count) const {
    count = std::min(count, length);
    // Below base the file holds the bytes; above it the window, or erased flash.
    uint64_t written = std::min(count, base);
    if (written > 0 && !platform::ReadAt(fd, 0, out, static_cast<size_t>(written))) {
        return false;
    }
    for (uint64_t i = written; i < count; ++i) {
        out[i] = i - base < window.size() ? window[i - base] : 0xFF;
    }
    return true;
}

}  // namespace shx
