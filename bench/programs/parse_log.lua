local lines = {
  "2026-12-11 09:15:55 INFO [worker-12] GET /api/items/4821 status=200 time=12ms\n",
  "2026-12-11 09:15:56 WARN [worker-3] POST /api/orders status=429 time=230ms\n",
  "2026-12-11 09:15:57 ERROR [db-pool] GET /api/users/77 status=500 time=1503ms\n",
  "2026-12-11 09:15:58 INFO [worker-7] DELETE /api/items/12 status=204 time=8ms\n",
}
local parts, size = {}, 0
while size < 1000000 do
  for _, line in ipairs(lines) do parts[#parts + 1] = line; size = size + #line end
end
local text = table.concat(parts)
local levels = {INFO = true, WARN = true, ERROR = true}
local methods = {GET = true, POST = true, PUT = true, DELETE = true}
local pattern = "^%d%d%d%d%-%d%d%-%d%d %d%d:%d%d:%d%d (%u+) %[[%l%d%-]+%] (%u+) ([^ \n]+) status=(%d%d%d) time=%d+ms\n()"
local tokens, pos = {}, 1
while pos <= #text do
  local level, method, path, status, after = text:match(pattern, pos)
  if not level or not levels[level] or not methods[method] then error("invalid line at " .. pos) end
  tokens[#tokens + 1] = level; tokens[#tokens + 1] = method
  tokens[#tokens + 1] = path; tokens[#tokens + 1] = status
  pos = after
end
print(#tokens)
