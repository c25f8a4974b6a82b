// engine_startup: the one fixed sequence that builds the engine's state.
#include "engine/dsp/math.h"
#include "engine/frame/engine.h"

void engine_startup() {
    lf::set_engine_fp_mode();
    lf::fill_const_vec();
    lf::noise_init();
}
