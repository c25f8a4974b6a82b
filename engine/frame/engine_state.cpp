// The engine's one state record.
#include "engine/frame/engine_state.h"

#include <cstring>

namespace lf {

alignas(64) EngineState engine;

void engine_state_clear() {
    std::memset(static_cast<void*>(&engine), 0, sizeof engine);
}

}  // namespace lf
