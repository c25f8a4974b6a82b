// The player's messages as it must print them, written out apart from its code.
#pragma once

#include <string>

namespace expected {

inline const std::string START_RENDER = "Starting render (playback will start in 5 seconds)...\n";
inline const std::string TOO_SLOW =
    "Looks like this system is too slow to render [lumenfrost] in real-time. This player will "
    "start playback once rendering finishes. Or you can use the .wav renderer to play it back "
    "whenever you want.\n";
inline const std::string START_PLAYBACK = "Starting playback.\n";
inline const std::string UNDERRUN =
    "aw heck, we didn't render fast enough! we're just going to wait here till we finish "
    "rendering the track. Replay will restart after that.\n";

}  // namespace expected
