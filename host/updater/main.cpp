// BOM7300upgrade: BOM7300upgrade <ini file>. Always ends with 0.
#include "updater.h"

int main(int argc, char **argv) { return updater::UpdaterMain(argc, argv); }
