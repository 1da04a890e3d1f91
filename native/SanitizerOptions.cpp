// The sanitizers' settings for every native program, compiled in so that a bare run of a test or
// fuzz program behaves as tools/test.sh does. The runtimes look these functions up at start-up.
extern "C" {

// allocator_may_return_null: the heaps' tests ask the C runtime for impossible sizes and expect
// null, as on Windows, not a report. Leaks are checked at exit.
const char* __asan_default_options() {
    return "detect_leaks=1:allocator_may_return_null=1:check_initialization_order=1:strict_init_order=1:"
           "detect_stack_use_after_return=1:handle_abort=1";
}

// The module's registry is forgotten, not freed, at exit: blocks released by later exit routines
// must find nothing to give back to. Only that block is exempt; every other one must come back.
const char* __lsan_default_suppressions() { return "leak:getHeapRegistry\n"; }

const char* __lsan_default_options() { return "print_suppressions=0"; }

const char* __ubsan_default_options() { return "print_stacktrace=1:halt_on_error=1"; }

} // extern "C"
