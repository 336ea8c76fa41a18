#pragma once

class QCoreApplication;

// How the program answers the signals a shell or a desktop sends it. The
// trigger-file library leaves signals alone; the program decides.
//
// SIGXFSZ (the file-size limit of `ulimit -f` reached) is ignored, so that
// the write that reached the limit fails with "File too large" and is
// reported and cleaned up like any other failed write, instead of killing
// the program and leaving its temporary file behind.
//
// SIGTERM, SIGINT and SIGHUP quit the application's event loops; a write
// that is running is then cancelled (its temporary file removed, the old
// file kept, see runInBackground), and the program ends by the same signal,
// as the sender expects. A signal that was ignored when the program started
// (nohup, a background job) stays ignored.
//
// Windows sends a windowed program none of these: there all three calls do
// nothing, and closing the program goes through its window.
namespace processsignals {

// First thing in main(), before any thread starts.
void install();

// Once the application exists: from then on a terminating signal quits it.
void watch(QCoreApplication& app);

// The last call in main(), with what app.exec() returned: ends the process
// by the signal that asked it to end, if one did; otherwise returns status.
int finish(int status);

} // namespace processsignals
