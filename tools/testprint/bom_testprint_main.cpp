// bom-testprint: the page a test print would print, as a PNG file (see
// testprint.h).
#include "tools/testprint/testprint.h"

int main(int argc, char** argv) { return testprint::Main(argc, argv); }
