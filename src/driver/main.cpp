#include "piece.h"

int main(int argc, char** argv, char** envp) {
    return PieceMain(argc, argv, envp);
}
