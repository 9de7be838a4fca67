// The piece's entry function: opens the display, starts the soundtrack, runs the frame loop until
// the piece ends, and closes the display.
#pragma once

int PieceMain(int argc, char** argv, char** envp);
