#include "renderer/wav_file.h"

#include <cerrno>
#include <cstring>
#include <stdexcept>

#include "engine/data/files.h"

void save_wav(const std::string& path, const StereoFrame* frames, uint32_t count) {
    static_assert(sizeof(StereoFrame) == 2 * sizeof(float), "a frame is two floats, no padding");
    std::string error;
    if (!lf::files::write_float_wav(path, &frames[0].left, 2, count, error)) {
        // The console line gives the system's reason alone.
        throw std::runtime_error(std::strerror(errno));
    }
}
