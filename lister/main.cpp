// Process entry of quarnel: takes the command line as UTF-16 and runs the lister.
#include "lister/lister.h"
#include "platform/platform.h"

int main(int argc, char** argv) { return zub::quarnel_main(zub::platform::command_line(argc, argv)); }
