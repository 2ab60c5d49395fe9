// Writes settled parts of the images into their files on a second thread
// while the S-record walk goes on, so that the copy into the file system is
// not on the walk's path. The caller keeps the bytes and descriptors alive
// and unchanged until Drain or Finish returns.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

namespace shx {

class ImageWriter {
  public:
    ImageWriter() = default;
    ~ImageWriter() { Finish(); }
    ImageWriter(const ImageWriter&) = delete;
    ImageWriter& operator=(const ImageWriter&) = delete;

    // Queues a write; without a thread (it could not start) writes at once.
    void Post(int fd, const uint8_t* bytes, uint64_t offset, uint64_t length);
    // Returns once every queued write is done.
    void Drain();
    // Drains and stops the thread: 0 when every write since the last Finish
    // went through, or the errno of the first that failed.
    int Finish();

  private:
    struct Job {
        int fd;
        const uint8_t* bytes;
        uint64_t offset;
        uint64_t length;
    };
    void Run();
    void Write(const Job& job);  // records the first failure

    std::mutex lock;
    std::condition_variable wake;
    std::condition_variable idle;
    std::deque<Job> jobs;
    bool busy = false;
    bool stopping = false;
    bool noThread = false;
    int error = 0;
    std::thread thread;
};

// The memory one conversion may use to assemble its images, all together;
// images beyond it are built in their files. A superfile's header declares
// the ranges, so without a bound a few kilobytes of file could claim
// gigabytes of memory.
inline constexpr uint64_t kDefaultImageMemoryBudget = 256ull << 20;
uint64_t ImageMemoryBudget();
void SetImageMemoryBudget(uint64_t bytes);

// An image built straight in its file, whose blocks are reserved: records
// land in a window that moves up the image and is written out as it moves,
// with 0xFF wherever no record wrote; a record below the window is written
// into the file at once. The result is the same file as assembling the image
// in memory, at the cost of a window's memory.
class FileImage {
  public:
    static constexpr uint64_t kDefaultWindow = 2u << 20;
    FileImage(int fd, uint64_t length, uint64_t window = kDefaultWindow)
        : fd(fd), length(length), windowSize(window == 0 ? 1 : window) {}

    // Places count bytes at offset (within the image). A failure is kept and
    // told by Finish.
    void Write(uint64_t offset, const uint8_t* bytes, uint64_t count);
    // Writes out the rest of the image and releases the window: 0 when every
    // write went through, else the errno of the first that failed.
    int Finish();
    // The first count bytes of the image as they stand.
    bool ReadHead(uint8_t* out, uint64_t count) const;
    // The sum of the image's bytes once finished.
    uint64_t Sum() const { return sum; }

  private:
    bool Advance();  // writes the window out and moves it up
    bool WriteBehind(uint64_t offset, const uint8_t* bytes, uint64_t count);
    void Fail(int cause);

    int fd;
    uint64_t length;
    uint64_t windowSize;
    uint64_t base = 0;  // [0, base) is in the file as it stays
    std::vector<uint8_t> window;
    uint64_t sum = 0;
    int error = 0;
};

}  // namespace shx
