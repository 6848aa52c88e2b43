// Options that every program of the sanitizer build starts with; ASAN_OPTIONS, UBSAN_OPTIONS and
// LSAN_OPTIONS given in the environment still add to them or override them.

extern "C" {

const char* __asan_default_options();
const char* __ubsan_default_options();
const char* __lsan_default_suppressions();

const char* __asan_default_options() {
    return "detect_leaks=1:abort_on_error=0:strict_init_order=1:check_initialization_order=1";
}

const char* __ubsan_default_options() {
    return "print_stacktrace=1:halt_on_error=1";
}

// Leaks inside the system's libraries, which keep caches for the life of the process and free them
// with nobody watching. Nothing of ours belongs here: a leak in our code is a finding.
const char* __lsan_default_suppressions() {
    return "leak:libfontconfig.so\n"
           "leak:libdbus-1.so\n";
}

} // extern "C"
