// Leaks that LeakSanitizer should not report in sanitizer builds: fontconfig's
// configuration, which it loads once for the process (FcInitLoadConfigAndFonts, from the first
// face asked for) and never frees, and cairo's. cairo's caches stay reachable and need no
// entry, but cairo loses a scaled font when FreeType refuses its size (once a face, and the
// face is then in error): until text stops asking for such sizes, libcairo stays listed.
// Both libraries are built without frame pointers, so a report's stack ends in the library
// and only the library can name it. FreeType is not listed: a library or face of ours that is
// not released is reported, and fails the test that made it.
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libfontconfig.so\nleak:libcairo.so\n";
}

// A program's standard error is part of what tests check: the list of suppressions used is
// not printed there.
extern "C" const char* __lsan_default_options() {
  return "print_suppressions=0";
}
