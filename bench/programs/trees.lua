local function make_tree(depth)
  if depth == 0 then return {} end
  return {make_tree(depth - 1), make_tree(depth - 1)}
end

local function check(tree)
  if tree[1] == nil then return 1 end
  return 1 + check(tree[1]) + check(tree[2])
end

local sum = 0
for _ = 1, 4 do sum = sum + check(make_tree(16)) end
print(sum)
