// The bare loops' own window: SDL's offscreen driver, 1024 x 768, a compatibility GL context with
// 8-bit RGB, 24-bit depth, 8-bit stencil, double-buffered, as the platform layer asks for the
// piece's window, and made current. Null, with SDL's reason on standard error, when there is none.
#pragma once

#include <SDL.h>

#include <cstdio>

// With a screen size: a fullscreen window of that size on the desktop's display instead.
inline SDL_Window* OpenBareWindow(SDL_GLContext* context, int screenWidth = 0,
                                  int screenHeight = 0) {
    *context = nullptr;
    SDL_SetHint(SDL_HINT_VIDEODRIVER, screenWidth > 0 ? "x11" : "offscreen");
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
        std::fprintf(stderr, "no SDL video: %s\n", SDL_GetError());
        return nullptr;
    }
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, 0);
    SDL_GL_SetAttribute(SDL_GL_RED_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 24);
    SDL_GL_SetAttribute(SDL_GL_STENCIL_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    SDL_Window* window =
        screenWidth > 0
            ? SDL_CreateWindow(
                  "bare", 0, 0, screenWidth, screenHeight,
                  SDL_WINDOW_OPENGL | SDL_WINDOW_FULLSCREEN_DESKTOP | SDL_WINDOW_BORDERLESS)
            : SDL_CreateWindow("bare", 0, 0, 1024, 768, SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
    *context = window ? SDL_GL_CreateContext(window) : nullptr;
    if (*context == nullptr) {
        std::fprintf(stderr, "no GL window: %s\n", SDL_GetError());
        if (window != nullptr) {
            SDL_DestroyWindow(window);
        }
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
        return nullptr;
    }
    return window;
}
