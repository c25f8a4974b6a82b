// The stage order: the score walk, then the sixteen voices and the mix steps
// in one fixed order. The order is part of the sound: the voices share one
// noise generator, some rewrite lanes of their own cursors, and three skip all
// their work (noise draws included) while their gate is closed.
#include "engine/frame/stages.h"

#include "engine/dsp/math.h"
#include "engine/frame/arrangement.h"
#include "engine/frame/mix.h"
#include "engine/voices/voices.h"

namespace lf {

Vec4 soft_clip(Vec4 x) {
    Vec4 e = fast_exp2(Vec4(3.5f) * x);
    Vec4 r = rcp_estimate(Vec4(1.0f) + e);
    // (1 − 2·r)·1.009 with 1 − 2·r fused.
    return fnma(Vec4(2.0f), r, Vec4(1.0f)) * Vec4(1.009f);
}

void score_walk(Vec4 t) {
    const float now = t.lane0();
    for (int k = NOTE_LIST_COUNT - 1; k >= 0; --k) event_cursor_advance(note_cursors[k], now);
    for (int c : CURVES_IN_USE) curve_env_eval(curve_envs[c], t);
}

Vec4 run_frame_stages(Vec4 t) {
    score_walk(t);

    Vec4 v0 = voice_track0();                           // 1
    Vec4 vn = voice_noise_sweep();                      // 2
    Vec4 front = front_bus_start(v0, vn);               // 3
    Vec4 v1 = voice_track1();                           // 4
    front = bus_add(front, 0.23f, v1);                  // 5
    Vec4 v7 = voice_track7();                           // 6
    front = bus_add(front, 0.65f, v7);                  // 7
    Vec4 v9 = voice_track9();                           // 8
    front = bus_add(front, 2.91923f, v9);               // 9
    Vec4 v10 = voice_track10();                         // 10
    front = front_bus_filter(front, v10);               // 11
    Vec4 v11 = voice_track11();                         // 12
    Vec4 v14 = voice_track14();                         // 13
    Vec4 bass = bass_ducking(v14, v11);                 // 14
    Vec4 v12 = voice_track12();                         // 15
    Vec4 main = main_bus_start(front, v11, bass, v12);  // 16
    Vec4 v13 = voice_track13();                         // 17
    Vec4 v16 = voice_track16();                         // 18
    main = bus_add(main, 1.14f, v13);                   // 19
    main = bus_add(main, 0.68f, v16);
    Vec4 v17 = voice_track17();        // 20
    main = bus_add(main, 0.39f, v17);  // 21
    Vec4 v19 = voice_track19();        // 22
    main = bus_add(main, 1.49f, v19);  // 23
    Vec4 gated = master_chain(main);
    Vec4 v21 = voice_track21();                // 24
    Vec4 v22 = voice_track22();                // 25
    Vec4 v23 = voice_track23();                // 26
    return final_stage(gated, v21, v22, v23);  // 27
}

}  // namespace lf
