// Reading a whole file safely: what is not a regular file is refused
// before it can make the reader wait.

#include "safefile/bounded_read.h"
#include "scratch_folder.h"

#include <gtest/gtest.h>

#ifndef _WIN32
#include <atomic>
#include <chrono>
#include <optional>
#include <string>
#include <thread>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

#ifndef _WIN32
namespace fs = std::filesystem;

class ReadFromDisk : public testsupport::ScratchFolder {};

// A named pipe waits for a writer that never comes, a device never ends:
// what is not a regular file is refused at once, with what it is.
TEST_F(ReadFromDisk, WhatIsNotARegularFileIsRefusedWithoutWaiting) {
    const fs::path pipe = folder_ / "pipe.trg";
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    fs::create_directory(folder_ / "folder.chk");
    const struct {
        fs::path file;
        const char* mentions;
    } cases[] = {
        {pipe, "named pipe"},
        {"/dev/zero", "device"},
        {folder_ / "folder.chk", "folder"},
    };
    for (const auto& c : cases) {
        std::optional<safefile::FileBytes> bytes;
        std::atomic<bool> done{false};
        std::thread reader([&] {
            bytes = safefile::readBoundedFile(c.file);
            done = true;
        });
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (!done && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        const bool waited = !done;
        if (waited) {
            // Lets the reader go: a writer that comes and leaves at once.
            ::close(::open(c.file.c_str(), O_WRONLY | O_NONBLOCK));
        }
        reader.join();
        EXPECT_FALSE(waited) << c.file << ": the read waited";
        ASSERT_TRUE(bytes && !bytes->ok()) << c.file;
        const std::string& reason = bytes->reason();
        EXPECT_NE(reason.find(c.mentions), std::string::npos) << reason;
    }
}
#endif

} // namespace
