// The piece's entry function: opens the display, starts the soundtrack, runs the frame loop until
// the piece ends, and closes the display.
#pragma once

// The display mode the piece opens fullscreen: 1024 x 768 at 32 bits a pixel. The programs around
// the piece (the capture, the browser's canvas) take it from here.
const int kPieceWidth = 1024;
const int kPieceHeight = 768;
const int kPieceColourBits = 32;

int PieceMain(int argc, char** argv, char** envp);
