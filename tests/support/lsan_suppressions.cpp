// Leaks that LeakSanitizer should not report in sanitizer builds: fontconfig's
// configuration, which it loads once for the process (FcInitLoadConfigAndFonts, from the first
// face asked for) and never frees. fontconfig is built without frame pointers, so a report's
// stack ends in the library and only the library can name it. cairo's caches stay reachable
// and need no entry, and FreeType is not listed: a cairo object, library or face of ours that
// is not released is reported, and fails the test that made it.
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libfontconfig.so\n";
}

// A program's standard error is part of what tests check: the list of suppressions used is
// not printed there.
extern "C" const char* __lsan_default_options() {
  return "print_suppressions=0";
}
