// Sanitizer settings for the test programs that run Qt's GUI, linked into
// each of them.

// Under LeakSanitizer: the session bus library that Qt's X11 platform loads
// keeps an allocation for the life of the process.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libdbus-1.so\n";
}

// Under ThreadSanitizer: Debian's Qt and GLib are not instrumented, and their
// futex-based locks and atomics are invisible to the sanitizer. The X11
// platform's event reader and the session bus thread hand their work to the
// GUI thread through them, so Qt's own allocations and frees look like races.
// Only the calls that uninstrumented libraries make are left unchecked; the
// project's code is checked as before.
extern "C" const char* __tsan_default_options() {
    return "ignore_noninstrumented_modules=1";
}
