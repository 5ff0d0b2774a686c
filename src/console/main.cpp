#include <cstdio>

#include "console/console_app.h"

int main() { return tidewire::console::RunConsole(stdin, stdout); }
