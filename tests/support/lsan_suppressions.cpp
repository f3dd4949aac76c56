// Leaks that LeakSanitizer should not report in sanitizer builds: libraries that keep
// process-wide caches until exit (fontconfig's configuration, cairo's font caches).
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libfontconfig.so\nleak:libcairo.so\nleak:libfreetype.so\n";
}
