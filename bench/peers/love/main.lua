-- The sprite storm with LÖVE, as its users draw sprites: one love.graphics.draw per sprite (LÖVE
-- batches them itself), without vsync. The formulas repeat bench/peers/BunnyStorm.h. The image is
-- filtered linearly (LÖVE's default), as every program of the comparison filters it.
--   love bench/peers/love [--sprites N] [--width W] [--height H] [--frames F]
local size = { sprites = 1000, width = 800, height = 450 }
local frames = -1
local bunnies = {}
local image
local frame = 0

local function parse(args)
    local i = 1
    while i <= #args do
        local value = tonumber(args[i + 1])
        if not value then error("usage: love bench/peers/love [--sprites N] [--width W] [--height H] [--frames F]") end
        if args[i] == "--sprites" then size.sprites = value
        elseif args[i] == "--width" then size.width = value
        elseif args[i] == "--height" then size.height = value
        elseif args[i] == "--frames" then frames = value
        else error("unknown option " .. args[i]) end
        i = i + 2
    end
end

local function pixels()
    local data = love.image.newImageData(32, 32)
    for y = 0, 31 do
        for x = 0, 31 do
            local dx, dy = x - 15.5, y - 15.5
            local d2 = dx * dx + dy * dy
            local alpha = d2 < 169 and 255 or (d2 < 256 and 128 or 0)
            data:setPixel(x, y, 1, (200 - y * 3) / 255, (80 + x * 4) / 255, alpha / 255)
        end
    end
    return data
end

function love.load(args)
    parse(args)
    love.window.setMode(size.width, size.height, { vsync = 0 })
    image = love.graphics.newImage(pixels())
    image:setFilter("linear", "linear")
    for i = 0, size.sprites - 1 do
        bunnies[i + 1] = {
            x = (i * 7919) % (size.width + 1), y = (i * 104729) % (size.height + 1),
            vx = ((i * 37) % 11 - 5) * 0.5, vy = ((i * 53) % 7 - 3) * 0.5 + 0.25,
        }
    end
end

function love.update()
    local w, h = size.width, size.height
    for i = 1, #bunnies do
        local b = bunnies[i]
        b.x = b.x + b.vx
        b.y = b.y + b.vy
        if b.x < 0 or b.x > w then b.vx = -b.vx; b.x = b.x + 2 * b.vx end
        if b.y < 0 or b.y > h then b.vy = -b.vy; b.y = b.y + 2 * b.vy end
    end
    frame = frame + 1
    if frames >= 0 and frame > frames then love.event.quit() end
end

function love.draw()
    local h = size.height
    for i = 1, #bunnies do
        local b = bunnies[i]
        love.graphics.draw(image, b.x - 16, h - b.y - 16)
    end
end
