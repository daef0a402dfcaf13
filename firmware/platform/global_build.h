// Long-lived objects have two constructors: a constexpr one that leaves the
// object zero, as after reset (every global is constant-initialised so),
// and the one the machine definition calls to build the object in place at
// start-up. Objects whose start-up construction takes no argument of its
// own are told apart by this marker.
#pragma once

struct GlobalBuild {};
inline constexpr GlobalBuild kGlobalBuild{};
