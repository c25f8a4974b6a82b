// The sixteen voices of the track: fifteen named by their first note track,
// and the noise sweep, which plays no track. Each is called exactly once per
// frame, in the stage order, after the score walk; each returns one Vec4
// whose lanes 0 and 1 are left and right. Their states are their records in
// the engine state. The four that hear noise draw it from the generator they
// are given (the engine's one generator, or a copy set to the draw that the
// frame order gives them).
#pragma once

#include "engine/dsp/math.h"
#include "engine/dsp/vec4.h"

namespace lf {

// Sample playback.
Vec4 voice_track13();  // snare
Vec4 voice_track12();  // crash
Vec4 voice_track22();  // crash through reverb, bypasses the master chain
Vec4 voice_track11();  // kick, and the key that ducks the bass
Vec4 voice_track9();   // ride
Vec4 voice_track0();   // break-loop stutter

// Oscillator banks.
Vec4 voice_track23();                // sine blips
Vec4 voice_track21();                // solo motif of the cut
Vec4 voice_track16();                // pulse arpeggio with the delayed right channel
Vec4 voice_track7(NoiseGen& noise);  // pluck arpeggio (tracks 7 and 8), gated

Vec4 voice_track1();  // six-note chords (tracks 1 to 6), gated

Vec4 voice_track10(NoiseGen& noise);      // pitched noise hats
Vec4 voice_noise_sweep(NoiseGen& noise);  // filtered noise bed

Vec4 voice_track19();                 // resonator lead (tracks 19 and 20), gated
Vec4 voice_track14(NoiseGen& noise);  // bass (tracks 14 and 15)
Vec4 voice_track17();                 // gliding pulse lead (tracks 17 and 18)

}  // namespace lf
