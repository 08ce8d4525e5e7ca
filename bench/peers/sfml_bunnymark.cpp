// The sprite storm with SFML's graphics module, as its users draw many sprites: one vertex array
// of quads, refilled each frame and drawn in one call, without vsync or a frame limit. The texture is
// filtered linearly, as every program of the comparison filters it.
#include <SFML/Graphics.hpp>

#include "BunnyStorm.h"

int main(int argc, char** argv) {
    bench::StormSize size;
    long frames = -1;
    if (!bench::parseStormArguments(argc, argv, size, frames)) return 2;
    sf::RenderWindow window(sf::VideoMode(static_cast<unsigned>(size.width), static_cast<unsigned>(size.height)),
                            "sfml bunnymark", sf::Style::Titlebar | sf::Style::Close);
    window.setVerticalSyncEnabled(false);
    const std::vector<unsigned char> pixels = bench::bunnyPixels(false);
    sf::Image image;
    image.create(bench::kBunnySize, bench::kBunnySize, pixels.data());
    sf::Texture texture;
    texture.loadFromImage(image);
    texture.setSmooth(true);
    std::vector<bench::Bunny> bunnies;
    for (int i = 0; i < size.sprites; ++i) bunnies.push_back(bench::bunnyAt(i, size));
    sf::VertexArray quads(sf::Quads, static_cast<std::size_t>(size.sprites) * 4);
    const float s = static_cast<float>(bench::kBunnySize), half = s / 2.0f;
    for (std::size_t i = 0; i < bunnies.size(); ++i) {
        quads[i * 4 + 0].texCoords = sf::Vector2f(0.0f, 0.0f);
        quads[i * 4 + 1].texCoords = sf::Vector2f(s, 0.0f);
        quads[i * 4 + 2].texCoords = sf::Vector2f(s, s);
        quads[i * 4 + 3].texCoords = sf::Vector2f(0.0f, s);
    }

    for (long frame = 0; frames < 0 || frame < frames; ++frame) {
        sf::Event event;
        bool quit = false;
        while (window.pollEvent(event))
            if (event.type == sf::Event::Closed) quit = true;
        if (quit) break;
        for (std::size_t i = 0; i < bunnies.size(); ++i) {
            bench::Bunny& b = bunnies[i];
            bench::step(b, size);
            // SFML counts y from the top; the storm from the bottom, as GL does.
            const float left = b.x - half, top = static_cast<float>(size.height) - b.y - half;
            quads[i * 4 + 0].position = sf::Vector2f(left, top);
            quads[i * 4 + 1].position = sf::Vector2f(left + s, top);
            quads[i * 4 + 2].position = sf::Vector2f(left + s, top + s);
            quads[i * 4 + 3].position = sf::Vector2f(left, top + s);
        }
        window.clear(sf::Color::Black);
        window.draw(quads, &texture);
        window.display();
    }
    return 0;
}
