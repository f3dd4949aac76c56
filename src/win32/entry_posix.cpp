// The process entry: hands over to WinMain as Windows' start-up code does.
#include "win32/kernel32/process_start.h"
#include "win32/win32.h"

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE hPrevInstance, LPSTR lpCmdLine, int nShowCmd);

int main(int argc, char** argv) {
  win32::SetProcessCommandLine(argc, argv);
  // WinMain receives the command line without the program's own name.
  char* arguments = GetCommandLineA();
  const bool quoted = *arguments == '"';
  char* p = arguments + (quoted ? 1 : 0);
  while (*p != '\0' && (quoted ? *p != '"' : (*p != ' ' && *p != '\t'))) {
    ++p;
  }
  if (quoted && *p == '"') {
    ++p;
  }
  while (*p == ' ' || *p == '\t') {
    ++p;
  }
  constexpr int kShowDefault = 10;  // SW_SHOWDEFAULT
  return WinMain(reinterpret_cast<HINSTANCE>(GetModuleHandleA(nullptr)), nullptr, p, kShowDefault);
}
