// Leaks that LeakSanitizer should not report in sanitizer builds: libraries that keep
// process-wide caches until exit (fontconfig's configuration, cairo's font caches).
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libfontconfig.so\nleak:libcairo.so\nleak:libfreetype.so\n";
}

// A program's standard error is part of what tests check: the list of suppressions used is
// not printed there.
extern "C" const char* __lsan_default_options() {
  return "print_suppressions=0";
}
