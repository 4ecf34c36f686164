// The player's keys, in one table: the player answers them while it or the movie list has the
// focus (never while a text box has it), and its menu shows them beside its entries.
#pragma once

#include <Qt>

namespace vidrake {

// One step of the position, for the keys and for the position slider's own arrow steps alike;
// and the slider's page step.
inline constexpr int kSeekStepSeconds = 5;
inline constexpr int kSeekPageSeconds = 30;

enum class PlayerCommand { PlayPause, FullScreen, LeaveFullScreen, Mute, Back, Forward };

struct PlayerKey {
    Qt::Key key;
    PlayerCommand command;
};

inline constexpr PlayerKey kPlayerKeys[] = {
    {Qt::Key_Space, PlayerCommand::PlayPause},
    {Qt::Key_F, PlayerCommand::FullScreen},
    {Qt::Key_Escape, PlayerCommand::LeaveFullScreen},
    {Qt::Key_M, PlayerCommand::Mute},
    {Qt::Key_Left, PlayerCommand::Back},
    {Qt::Key_Right, PlayerCommand::Forward},
};

}  // namespace vidrake
