-- The sprite storm in LÖVE: the window is made in main.lua, from the command line.
function love.conf(t)
    t.window = nil
end
