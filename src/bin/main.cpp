#include "system_audio/frame/run_stdio_helper.h"

int main(int argc, char** argv) {
  return system_audio::helper_main(argc, argv);
}
