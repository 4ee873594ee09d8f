// Leak reports the window tests do not own: the system's font configuration library keeps
// allocations for the life of the process that it never frees.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libfontconfig.so\n";
}
