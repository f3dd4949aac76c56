// Leaks that LeakSanitizer should not report in sanitizer builds: libraries that keep
// process-wide state until exit.
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libfontconfig.so\n";
}
