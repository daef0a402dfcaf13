// Placeholder of the grey test-print pattern: the objects exist and are
// installed as the planes' patterns, but they draw nothing yet.
#include "firmware/platform/placeholder.h"
#include "firmware/service/self_print_gray.h"

CSelfPrintGray g_SelfPrintGrayY;
CSelfPrintGray g_SelfPrintGrayM;
CSelfPrintGray g_SelfPrintGrayC;
CSelfPrint* g_pSelfPrintY;
CSelfPrint* g_pSelfPrintM;
CSelfPrint* g_pSelfPrintC;

void InstallGrayPatterns() {
  static bool s_bLogged;
  LogPlaceholderOnce(s_bLogged, "the grey test-print pattern (CSelfPrintGray)");
  g_pSelfPrintY = &g_SelfPrintGrayY;
  g_pSelfPrintM = &g_SelfPrintGrayM;
  g_pSelfPrintC = &g_SelfPrintGrayC;
}
