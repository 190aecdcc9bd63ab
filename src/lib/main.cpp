// Process entry of corvane-managerd.
#include <string>
#include <vector>

#include "lib/startup.h"

int main(int argc, char** argv) {
  std::vector<std::string> arguments(argv + (argc > 0 ? 1 : 0), argv + argc);
  return corvane_manager_resident_lab::main(arguments);
}
