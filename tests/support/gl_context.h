// A GL context of the tests' own: an SDL offscreen window with a current compatibility context,
// made without the platform layer, for testing what a stage leaves in GL and what it sends.
#pragma once

#include <SDL.h>

namespace testsupport {

class GlContext {
  public:
    explicit GlContext(int width = 1024, int height = 768);
    ~GlContext();
    GlContext(const GlContext&) = delete;
    GlContext& operator=(const GlContext&) = delete;

    bool ok() const { return context_ != nullptr; }

  private:
    SDL_Window* window_ = nullptr;
    SDL_GLContext context_ = nullptr;
};

}  // namespace testsupport
