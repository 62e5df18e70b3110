#include "driver/cli.h"

int main(int argc, char** argv) { return tesk::process_main(argc, argv); }
