// The player process's work once it is locked down: one libmpv instance, told what to play and
// how by the window over the control socket, its news told back there, its pictures drawn by
// mpv's software renderer into the two shared pictures the window maps. The only place, with
// movie_stream.cpp, that includes <mpv/...>.
#pragma once

namespace vidrake::player {

// Runs until the window closes the control socket (or sends what is no message of ours).
// silentAudio: decode sound but play it nowhere. Returns the process's exit status.
int runPlayer(int control, bool silentAudio);

}  // namespace vidrake::player
