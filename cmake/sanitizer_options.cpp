// Linked into every program of the instrumented builds, so that each carries
// the sanitizer options it needs wherever it runs: under ctest, installed and
// started with a bare environment, or by hand. ASAN_OPTIONS still adds to them
// and overrides them.
//
// intercept_tls_get_addr=0: the __tls_get_addr hook of the sanitizer runtime
// (GCC 12's and clang 14's, the ones Debian 12 has) records the thread-local
// block of each library loaded at run time as a range for the leak check to
// scan, and still guesses glibc 2.19-2.24's layout for it: a block that starts
// 16 bytes past a 4 KiB boundary is taken to carry a header with its real start
// and size just before it. Since glibc 2.25 no block has that header; blocks
// come from the sanitizer's own malloc, and one in 128 of the blocks it hands
// out for requests of up to 16 bytes starts at that offset. The hook then reads
// the allocator's chunk header as the range (0x36f to 0x800001471 for the
// 8-byte block of libjpeg.so.62, which Qt's JPEG plugin brings in when a
// picture is saved), and the leak check crashes scanning it at exit. Which
// offset a block gets depends on the allocations before it, so the crash came
// and went with the locale. Without the hook such blocks are still scanned: a
// pointer held only in a loaded library's thread_local variable is not reported
// as a leak.
extern "C" const char* __asan_default_options() {
    return "intercept_tls_get_addr=0";
}
