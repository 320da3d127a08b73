local b, x = {}, 1
for i = 1, 300000 do x = (x * 75 + 74) % 65537 b[i] = x end
table.sort(b)
print(b[1], b[#b])
