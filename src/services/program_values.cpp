#include "services/program_values.h"

ProgramValues& Program() {
  static ProgramValues values;
  return values;
}
