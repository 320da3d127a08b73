local Point = {}
Point.__index = Point
function Point.new() return setmetatable({x = 0, y = 0}, Point) end
function Point:move(dx, dy) self.x = self.x + dx self.y = self.y + dy end
function Point:swap_xy() local t = self.x self.x = self.y self.y = t end
function Point:total() return (self.x + self.y) % 1000 end

local point = Point.new()
local sum = 0
for i = 1, 1000000 do
  point:move(i % 10, 1)
  point:swap_xy()
  sum = (sum + point:total() + point.x) % 100000
end
print(sum)
