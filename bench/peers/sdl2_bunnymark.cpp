// The sprite storm with SDL2's own 2D renderer, as its users draw: one SDL_RenderCopyF per sprite,
// batched by the renderer, presented without vsync. The texture is filtered linearly, as every
// program of the comparison filters it.
#include <SDL2/SDL.h>

#include "BunnyStorm.h"

int main(int argc, char** argv) {
    bench::StormSize size;
    long frames = -1;
    if (!bench::parseStormArguments(argc, argv, size, frames)) return 2;
    SDL_SetHint(SDL_HINT_RENDER_BATCHING, "1");
    SDL_SetHint(SDL_HINT_RENDER_VSYNC, "0");
    if (SDL_Init(SDL_INIT_VIDEO) != 0) return 1;
    SDL_Window* window = SDL_CreateWindow("sdl2 bunnymark", SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED, size.width,
                                          size.height, SDL_WINDOW_SHOWN);
    SDL_Renderer* renderer = window ? SDL_CreateRenderer(window, -1, SDL_RENDERER_ACCELERATED) : nullptr;
    if (!renderer) {
        SDL_Log("no renderer: %s", SDL_GetError());
        return 1;
    }
    const std::vector<unsigned char> pixels = bench::bunnyPixels(false);
    SDL_Texture* texture = SDL_CreateTexture(renderer, SDL_PIXELFORMAT_ABGR8888, SDL_TEXTUREACCESS_STATIC,
                                             bench::kBunnySize, bench::kBunnySize);
    SDL_UpdateTexture(texture, nullptr, pixels.data(), bench::kBunnySize * 4);
    SDL_SetTextureBlendMode(texture, SDL_BLENDMODE_BLEND);
    SDL_SetTextureScaleMode(texture, SDL_ScaleModeLinear);
    std::vector<bench::Bunny> bunnies;
    for (int i = 0; i < size.sprites; ++i) bunnies.push_back(bench::bunnyAt(i, size));

    const float half = bench::kBunnySize / 2.0f;
    for (long frame = 0; frames < 0 || frame < frames; ++frame) {
        SDL_Event event;
        bool quit = false;
        while (SDL_PollEvent(&event))
            if (event.type == SDL_QUIT) quit = true;
        if (quit) break;
        SDL_SetRenderDrawColor(renderer, 0, 0, 0, 255);
        SDL_RenderClear(renderer);
        for (bench::Bunny& b : bunnies) {
            bench::step(b, size);
            // SDL counts y from the top; the storm from the bottom, as GL does.
            const SDL_FRect to{b.x - half, static_cast<float>(size.height) - b.y - half, 2.0f * half, 2.0f * half};
            SDL_RenderCopyF(renderer, texture, nullptr, &to);
        }
        SDL_RenderPresent(renderer);
    }
    SDL_DestroyTexture(texture);
    SDL_DestroyRenderer(renderer);
    SDL_DestroyWindow(window);
    SDL_Quit();
    return 0;
}
