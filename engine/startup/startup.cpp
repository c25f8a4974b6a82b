// engine_startup: the one fixed sequence that builds the engine's state. The
// noise generator makes its 108 start-up draws inside the unit setup; the
// render thread continues the same sequence.
#include "engine/dsp/math.h"
#include "engine/frame/block.h"
#include "engine/frame/engine.h"
#include "engine/frame/engine_state.h"
#include "engine/startup/codec.h"
#include "engine/startup/large_pages.h"
#include "engine/startup/score.h"
#include "engine/startup/units.h"
#include "engine/startup/wavetables.h"

namespace lf {

void startup_sequence() {
    fill_const_vec();
    noise_init(engine.noise_gen);
    build_score();
    build_cosine_basis(128);
    build_cosine_basis(1024);
    decode_drum_samples();
    build_wavetables();
    setup_units();
    block_setup();
}

}  // namespace lf

void engine_startup() {
    // The state is zero when the program starts; after that, any start-up or
    // render may have moved it, and the sequence builds from zero.
    static bool state_moved = false;
    if (state_moved) {
        lf::engine_state_clear();
    } else {
        // Before the sequence first touches the state it builds.
        lf::advise_large_pages();
    }
    state_moved = true;
    lf::set_engine_fp_mode();
    lf::startup_sequence();
}
