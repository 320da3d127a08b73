local function make_matrix(n, seed)
  local m = {}
  for i = 1, n do
    local row = {}
    for j = 1, n do row[j] = 1.0 * ((i * j + seed) % 7) end
    m[i] = row
  end
  return m
end

local function multiply_matrix(a, b, n)
  local c = {}
  for i = 1, n do
    local ai, ci = a[i], {}
    for j = 1, n do
      local s = 0.0
      for k = 1, n do s = s + ai[k] * b[k][j] end
      ci[j] = s
    end
    c[i] = ci
  end
  return c
end

local n = 300
local c = multiply_matrix(make_matrix(n, 1), make_matrix(n, 2), n)
print(c[1][1], c[n][n])
