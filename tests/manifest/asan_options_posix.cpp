// Under AddressSanitizer, a failed allocation ends the process unless the
// allocator may return null. The ZF7Z decoder relies on a null result for a
// decoded size it cannot hold, and 1 GiB is more than any test here needs, so
// larger requests fail at once, as they do in a 32-bit process.
extern "C" const char* __asan_default_options() { return "allocator_may_return_null=1:max_allocation_size_mb=1024"; }
