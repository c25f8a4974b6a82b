// Configure-time probe: exits with 0 when this machine runs the engine's
// AVX-512 build.
#include "engine/frame/cpu_check.h"

int main() { return engine_missing_cpu_features(true) == nullptr ? 0 : 1; }
