// The firmware's static constructors: the one fixed list that builds every
// global object at start-up, run by MainTask before the other tasks exist.
#pragma once

void RunStaticConstructors();
