// Process entry of zub64: the arguments as UTF-16, then the program's start-up.
#include "console/console_entry.h"
#include "platform/platform.h"

int main(int argc, char** argv) { return zub::zub64_main(zub::platform::command_line(argc, argv)); }
