// render_frame: the song clock and the store.
#include "engine/dsp/math.h"
#include "engine/frame/engine.h"
#include "engine/frame/stages.h"

StereoFrame TrackBuffer[TRACK_BUFFER_FRAMES];

void engine_set_fp_mode() {
    lf::set_engine_fp_mode();
}

void render_frame(StereoFrame* buffer, uint32_t index) {
    using namespace lf;
    // t = float(index) · FRAME_SECONDS: one rounded product. float(index) is
    // exact for every frame of the track.
    Vec4 t = Vec4(static_cast<float>(index)) * Vec4(FRAME_SECONDS);
    Vec4 out = run_frame_stages(t);
    out.store(&buffer[index].left);  // lanes 2 and 3 land in the next frame's slot
}
