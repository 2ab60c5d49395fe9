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

}  // namespace shx
