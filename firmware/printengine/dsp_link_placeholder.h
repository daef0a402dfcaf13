// Until the DSP link is built, its placeholder answers what a test asks for
// (every image valid and every handshake good by default) and counts the
// handshakes it was asked for.
#pragma once

#include <cstdint>

struct PlaceholderDspLink {
  int32_t lImageCheck;
  int32_t lHandshake;
  uint32_t ulHandshakes;
};

extern PlaceholderDspLink g_PlaceholderDspLink;
