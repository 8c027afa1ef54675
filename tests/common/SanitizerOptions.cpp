// Options of the sanitizers for every test program of a sanitized build,
// compiled in so that ctest, test discovery and a test run by hand all
// behave alike.

extern "C" {

const char* __asan_default_options() {
    return "detect_leaks=1:strict_string_checks=1:detect_stack_use_after_return=1:"
           "check_initialization_order=1:abort_on_error=0";
}

const char* __ubsan_default_options() { return "print_stacktrace=1:halt_on_error=1"; }

// Leaks of the libraries under Qt are not ours: see the file for each one.
const char* __lsan_default_options() { return "suppressions=" TAVIX_LSAN_SUPPRESSIONS; }

}  // extern "C"
