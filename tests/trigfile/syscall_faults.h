#pragma once

// Failures injected at the C library boundary of the fault-test binary,
// where the real error of a disk or a network share would appear. The
// binary's own definitions of fsync, close and rename stand in front of the
// C library's and pass every call on, except one that a test has armed:
// only calls on the writer's temporary file (a name ending in ".tmp") fail,
// and any hard link, as on a disk that has none (FAT).
namespace syscallfaults {

enum class Call { Fsync, Close, Rename, Link };

// Makes the next call of that kind on a temporary file fail with error.
// close still releases the descriptor, as the kernel does when it reports
// a late write error.
void arm(Call call, int error);
void disarmAll();
// How many armed failures have been delivered since the last arm().
int delivered();

} // namespace syscallfaults
