local function apply_each(f, items)
  local sum = 0
  for _, item in ipairs(items) do sum = sum + f(item) end
  return sum
end

local function square_mod(x) return x % 1000 * x % 1000 end

local items = {}
for i = 1, 1000000 do items[#items + 1] = i end
print(apply_each(square_mod, items))
